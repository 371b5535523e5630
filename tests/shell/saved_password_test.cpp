#include "shell/saved_password.h"

#include <gtest/gtest.h>

#include "shell/app_settings.h"
#include "shell/text_cipher.h"
#include "tests/support/paths.h"

namespace {

class SavedPasswordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW(s.DataFilePath(L"config.ini").c_str());
        s.Load();
        ::DeleteFileW(s.passwordPath.c_str());
    }
    std::string FileBytes() const { return testing_support::ReadFileBytes(s.passwordPath); }
    AppSettings s;
};

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

}  // namespace
