#include "shell/saved_password.h"

#include <gtest/gtest.h>

#include "shell/app_settings.h"
#include "shell/text_cipher.h"
#include "tests/support/fresh_settings.h"
#include "tests/support/paths.h"

namespace {

class SavedPasswordTest : public testing_support::FreshSettingsTest {};

TEST_F(SavedPasswordTest, RoundTrips) {
    for (const wchar_t* password : {L"demo123", L"a&b=c+d e", L"张三的密码2024"}) {
        ASSERT_TRUE(SavePassword(s, password));
        std::wstring read = L"unchanged";
        ASSERT_TRUE(LoadSavedPassword(s, read));
        EXPECT_EQ(password, read);
    }
}

TEST_F(SavedPasswordTest, EveryFourthByteIsScrambled) {
    ASSERT_TRUE(SavePassword(s, L"secret"));
    std::string file = FileBytes();
    std::wstring h2 = EncryptTextW(EncryptTextW(L"secret"));
    ASSERT_EQ(h2.size() * 2, file.size());
    std::string plain;
    for (wchar_t c : h2) {
        plain.push_back(static_cast<char>(c & 0xFF));
        plain.push_back(static_cast<char>(c >> 8));
    }
    const unsigned char mask = static_cast<unsigned char>(file[0] ^ plain[0]);
    EXPECT_NE(0, mask);
    for (size_t i = 0; i < file.size(); ++i) {
        if (i % 4 == 0) {
            EXPECT_EQ(mask, static_cast<unsigned char>(file[i] ^ plain[i])) << i;
        } else {
            EXPECT_EQ(plain[i], file[i]) << i;
        }
    }
}

TEST_F(SavedPasswordTest, EmptyPasswordEmptiesTheFile) {
    ASSERT_TRUE(SavePassword(s, L"secret"));
    EXPECT_FALSE(SavePassword(s, L""));
    EXPECT_EQ(0u, FileBytes().size());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(s.passwordPath.c_str()));
    std::wstring read = L"unchanged";
    EXPECT_FALSE(LoadSavedPassword(s, read));
    EXPECT_EQ(L"unchanged", read);
}

TEST_F(SavedPasswordTest, DamagedOrMissingFiles) {
    // Missing: nothing read, and reading does not create the file.
    std::wstring read = L"unchanged";
    EXPECT_FALSE(LoadSavedPassword(s, read));
    EXPECT_EQ(L"unchanged", read);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(s.passwordPath.c_str()));

    // Damaged: nothing read either (never an empty password reported as
    // read), and the file is left as it was.
    const std::string real = ScramblePassword(L"secret");
    std::string onceEnciphered;
    for (wchar_t c : EncryptTextW(L"secret")) {
        onceEnciphered.push_back(static_cast<char>(c & 0xFF));
        onceEnciphered.push_back(static_cast<char>(c >> 8));
    }
    for (size_t i = 0; i < onceEnciphered.size(); i += 4) {
        onceEnciphered[i] = static_cast<char>(onceEnciphered[i] ^ 0x5A);  // the file's mask
    }
    for (const std::string& junk : {std::string("garbage bytes that are not hex!!"), std::string(20000, '\x7f'),
                                    std::string("\x01"), real.substr(0, real.size() / 2), onceEnciphered}) {
        SCOPED_TRACE(junk.size());
        HANDLE f = ::CreateFileW(s.passwordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        DWORD w = 0;
        ::WriteFile(f, junk.data(), static_cast<DWORD>(junk.size()), &w, nullptr);
        ::CloseHandle(f);
        read = L"unchanged";
        EXPECT_FALSE(LoadSavedPassword(s, read));
        EXPECT_EQ(L"unchanged", read);
        EXPECT_EQ(junk, FileBytes());
    }

    // A damaged file is simply written over by the next save.
    ASSERT_TRUE(SavePassword(s, L"secret"));
    EXPECT_TRUE(LoadSavedPassword(s, read));
    EXPECT_EQ(L"secret", read);
}

FILETIME OldTime() {
    SYSTEMTIME st = {2001, 1, 0, 1, 0, 0, 0, 0};
    FILETIME ft = {};
    ::SystemTimeToFileTime(&st, &ft);
    return ft;
}

void SetWriteTime(const std::wstring& path, const FILETIME& ft) {
    HANDLE f = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    ::SetFileTime(f, nullptr, nullptr, &ft);
    ::CloseHandle(f);
}

bool WriteTimeIs(const std::wstring& path, const FILETIME& ft) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    return ::CompareFileTime(&data.ftLastWriteTime, &ft) == 0;
}

TEST_F(SavedPasswordTest, UnchangedPasswordLeavesTheFileAlone) {
    // A sign-in with the kept password must not rewrite the file: a process
    // killed in the middle of that write would lose it.
    ASSERT_TRUE(SavePassword(s, L"secret"));
    const std::string before = FileBytes();
    SetWriteTime(s.passwordPath, OldTime());
    ASSERT_TRUE(WriteTimeIs(s.passwordPath, OldTime()));
    EXPECT_TRUE(SavePassword(s, L"secret"));
    EXPECT_TRUE(WriteTimeIs(s.passwordPath, OldTime()));
    EXPECT_EQ(before, FileBytes());

    // The same for an already empty file.
    EXPECT_FALSE(SavePassword(s, L""));
    SetWriteTime(s.passwordPath, OldTime());
    EXPECT_FALSE(SavePassword(s, L""));
    EXPECT_TRUE(WriteTimeIs(s.passwordPath, OldTime()));
    EXPECT_EQ(0u, FileBytes().size());

    // A change is written, and no temporary file is left beside it.
    ASSERT_TRUE(SavePassword(s, L"other1"));
    EXPECT_FALSE(WriteTimeIs(s.passwordPath, OldTime()));
    std::wstring read;
    ASSERT_TRUE(LoadSavedPassword(s, read));
    EXPECT_EQ(L"other1", read);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((s.passwordPath + L".tmp").c_str()));
}

TEST_F(SavedPasswordTest, ReplacementThatCannotBeWrittenKeepsTheOldFile) {
    ASSERT_TRUE(SavePassword(s, L"secret"));
    // The new content goes beside the file first; when it cannot, the file
    // is not truncated in place.
    const std::wstring temp = s.passwordPath + L".tmp";
    ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
    EXPECT_FALSE(SavePassword(s, L"another"));
    EXPECT_FALSE(SavePassword(s, L""));
    ::RemoveDirectoryW(temp.c_str());
    std::wstring read;
    ASSERT_TRUE(LoadSavedPassword(s, read));
    EXPECT_EQ(L"secret", read);
}

TEST_F(SavedPasswordTest, PasswordsOutsideTheCodePageAreNotKeptDamaged) {
    // Chinese and ASCII passwords keep the file format and come back whole.
    for (const wchar_t* password : {L"张三的密码2024", L"demo123", L"~!@#$%^&*()_+"}) {
        EXPECT_TRUE(CanKeepPassword(password));
        ASSERT_TRUE(SavePassword(s, password));
        std::wstring read;
        ASSERT_TRUE(LoadSavedPassword(s, read));
        EXPECT_EQ(password, read);
    }
    // One the file cannot hold is never stored as "Stra?e1": nothing is
    // kept, the older file goes, and the next start finds no password.
    for (const wchar_t* password : {L"Stra\u00DFe1", L"\uBE44\uBC00\uBC88\uD638", L"\U0001F600pw"}) {
        SCOPED_TRACE(testing::Message() << "password " << password);
        ASSERT_TRUE(SavePassword(s, L"previous"));
        EXPECT_FALSE(CanKeepPassword(password));
        EXPECT_FALSE(SavePassword(s, password));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(s.passwordPath.c_str()));
        std::wstring read = L"unchanged";
        EXPECT_FALSE(LoadSavedPassword(s, read));
        EXPECT_EQ(L"unchanged", read);
    }
}

}  // namespace
