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

// A dump takes Wine's debug helper seconds to write: one test writes one.
// The folder appears with it, the system's reader opens it (this program
// among its modules, no exception when none was given), and the writer
// keeps only the five newest, the one just written among them.
TEST_F(CrashDumpTest, WritesADumpTheSystemReaderOpensAndKeepsFive) {
    ASSERT_TRUE(shell::WriteCrashDump(folder.c_str(), nullptr));
    auto dumps = Dumps();
    ASSERT_EQ(1u, dumps.size());
    const std::wstring fresh = dumps[0];
    EXPECT_EQ(0u, fresh.find(L"zudedo-")) << fresh;
    const auto dump = testing_support::ReadMinidump(folder + L"\\" + fresh);
    ASSERT_TRUE(dump.opened);
    EXPECT_FALSE(dump.hasException);
    bool self = false;
    for (const auto& m : dump.modules) self |= m == L"shell_tests.exe";
    EXPECT_TRUE(self);
    // Stacks and modules only, not the process's memory.
    EXPECT_LT(dump.bytes, 4ull * 1024 * 1024);

    for (int i = 0; i < 5; ++i) OldDump(L"zudedo-old-" + std::to_wstring(i) + L".dmp", 60 - i);
    shell::KeepNewestDumps(folder.c_str(), shell::kKeptCrashDumps);
    dumps = Dumps();
    EXPECT_EQ(shell::kKeptCrashDumps, dumps.size());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((folder + L"\\" + fresh).c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((folder + L"\\zudedo-old-0.dmp").c_str()));
}

// The oldest go by the time they were written, not by name; other files of
// the folder are left alone.
TEST_F(CrashDumpTest, KeepsTheNewestByTimeWritten) {
    for (int i = 0; i < 7; ++i) OldDump(L"zudedo-" + std::to_wstring(9 - i) + L".dmp", 60 - i);
    OldDump(L"notes.txt", 999);
    shell::KeepNewestDumps(folder.c_str(), shell::kKeptCrashDumps);
    ASSERT_EQ(shell::kKeptCrashDumps, Dumps().size());
    for (int gone : {9, 8}) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
                  ::GetFileAttributesW((folder + L"\\zudedo-" + std::to_wstring(gone) + L".dmp").c_str()));
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((folder + L"\\notes.txt").c_str()));

    shell::KeepNewestDumps(folder.c_str(), 2);
    EXPECT_EQ(2u, Dumps().size());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((folder + L"\\zudedo-3.dmp").c_str()));
}

TEST_F(CrashDumpTest, NoFolderNoDump) {
    EXPECT_FALSE(shell::WriteCrashDump(L"", nullptr));
    EXPECT_FALSE(shell::WriteCrashDump(nullptr, nullptr));
    shell::KeepNewestDumps(folder.c_str(), 0);  // a missing folder is no error
}

}  // namespace
