#include "shell/crash_dump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/minidump.h"
#include "tests/support/profile_guard.h"

namespace {

class CrashDumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"zudedo-crash-" + std::to_wstring(::GetCurrentProcessId());
    }
    void TearDown() override {
        for (const auto& name : testing_support::FolderEntries(folder)) ::DeleteFileW((folder + L"\\" + name).c_str());
        ::RemoveDirectoryW(folder.c_str());
    }

    // An older dump, written `ageMinutes` ago.
    void OldDump(const std::wstring& name, int ageMinutes) {
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring path = folder + L"\\" + name;
        shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
        t.QuadPart -= static_cast<ULONGLONG>(ageMinutes) * 60 * 10000000ULL;
        FILETIME then{t.LowPart, t.HighPart};
        ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &then));
    }

    std::vector<std::wstring> Dumps() {
        std::vector<std::wstring> out;
        for (const auto& name : testing_support::FolderEntries(folder)) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, L".dmp") == 0) out.push_back(name);
        }
        return out;
    }

    std::wstring folder;
};

// The folder appears with the first dump, and the system's reader opens the
// dump: this program among its modules, no exception when none was given.
TEST_F(CrashDumpTest, WritesADumpTheSystemReaderOpens) {
    ASSERT_TRUE(shell::WriteCrashDump(folder.c_str(), nullptr));
    const auto dumps = Dumps();
    ASSERT_EQ(1u, dumps.size());
    EXPECT_EQ(0u, dumps[0].find(L"zudedo-")) << dumps[0];
    const auto dump = testing_support::ReadMinidump(folder + L"\\" + dumps[0]);
    ASSERT_TRUE(dump.opened);
    EXPECT_FALSE(dump.hasException);
    bool self = false;
    for (const auto& m : dump.modules) self |= m == L"shell_tests.exe";
    EXPECT_TRUE(self);
    // Stacks and modules only, not the process's memory.
    EXPECT_LT(dump.bytes, 4ull * 1024 * 1024);
}

// Five are kept, the newest; the one just written is among them, and other
// files of the folder are left alone.
TEST_F(CrashDumpTest, KeepsTheFiveNewest) {
    for (int i = 0; i < 6; ++i) OldDump(L"zudedo-old-" + std::to_wstring(i) + L".dmp", 60 - i);
    OldDump(L"notes.txt", 999);
    ASSERT_TRUE(shell::WriteCrashDump(folder.c_str(), nullptr));
    const auto dumps = Dumps();
    ASSERT_EQ(shell::kKeptCrashDumps, dumps.size());
    for (int gone : {0, 1}) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
                  ::GetFileAttributesW((folder + L"\\zudedo-old-" + std::to_wstring(gone) + L".dmp").c_str()));
    }
    for (int kept : {3, 4, 5}) {
        EXPECT_NE(INVALID_FILE_ATTRIBUTES,
                  ::GetFileAttributesW((folder + L"\\zudedo-old-" + std::to_wstring(kept) + L".dmp").c_str()));
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((folder + L"\\notes.txt").c_str()));

    shell::KeepNewestDumps(folder.c_str(), 2);
    EXPECT_EQ(2u, Dumps().size());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES,
              ::GetFileAttributesW((folder + L"\\zudedo-old-5.dmp").c_str()));
}

TEST_F(CrashDumpTest, NoFolderNoDump) {
    EXPECT_FALSE(shell::WriteCrashDump(L"", nullptr));
    EXPECT_FALSE(shell::WriteCrashDump(nullptr, nullptr));
    shell::KeepNewestDumps(folder.c_str(), 0);  // a missing folder is no error
}

}  // namespace
