#include "shell/saved_password.h"

#include <gtest/gtest.h>

#include "shell/text_cipher.h"
#include "shell/app_settings.h"
#include "tests/support/paths.h"
#include "tests/support/inspect.h"

namespace {

std::wstring ReadIni(const std::wstring& path, const wchar_t* key) {
    return testing_support::ReadIni(path, L"Main", key);
}

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
    std::wstring read = L"unchanged";
    EXPECT_FALSE(LoadSavedPassword(s, read));  // missing
    EXPECT_EQ(L"unchanged", read);

    for (const std::string& junk : {std::string("garbage bytes that are not hex!!"), std::string(20000, '\x7f'),
                                    std::string("\x01")}) {
        HANDLE f = ::CreateFileW(s.passwordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD w = 0;
        ::WriteFile(f, junk.data(), static_cast<DWORD>(junk.size()), &w, nullptr);
        ::CloseHandle(f);
        read = L"unchanged";
        LoadSavedPassword(s, read);
        EXPECT_TRUE(read.empty() || read == L"unchanged") << junk.size();
    }
}

TEST_F(SavedPasswordTest, StartFillsTheBoxesAndOptionsAreCoupled) {
    s.WriteString(L"Main", L"UserName", L"demo");
    SavePassword(s, L"demo123");
    s.keepPassword = true;
    s.autoLogin = false;
    CredentialBoxes boxes;
    LoadStartCredentials(s, boxes);
    EXPECT_EQ(L"demo", boxes.userName);
    EXPECT_EQ(L"demo", s.userName);
    EXPECT_EQ(L"demo123", boxes.password);
    EXPECT_EQ(L"demo123", s.password);
    EXPECT_TRUE(boxes.keep);
    EXPECT_FALSE(boxes.autoLogin);

    SetAutoOption(boxes, true);
    EXPECT_TRUE(boxes.keep);
    SetKeepOption(boxes, false);
    EXPECT_FALSE(boxes.autoLogin);
}

TEST_F(SavedPasswordTest, SuccessfulLoginStoresWhatTheUserChose) {
    CredentialBoxes boxes{L"zhang", L"zhang123", true, true};
    StoreLoginCredentials(s, boxes);
    EXPECT_EQ(L"1", ReadIni(s.configPath, L"AutoLogin"));
    EXPECT_EQ(L"1", ReadIni(s.configPath, L"KeepPSW"));
    EXPECT_EQ(L"zhang", ReadIni(s.configPath, L"UserName"));
    std::wstring read;
    ASSERT_TRUE(LoadSavedPassword(s, read));
    EXPECT_EQ(L"zhang123", read);

    boxes.keep = boxes.autoLogin = false;
    StoreLoginCredentials(s, boxes);
    EXPECT_EQ(0u, FileBytes().size());
    EXPECT_EQ(L"0", ReadIni(s.configPath, L"KeepPSW"));
}

TEST_F(SavedPasswordTest, HidingTheLoginLayer) {
    CredentialBoxes boxes{L"demo", L"demo123", true, false};
    StoreLoginCredentials(s, boxes);
    EXPECT_FALSE(HideLoginLayerCredentials(s, boxes));  // kept and unchanged
    EXPECT_EQ(L"demo123", boxes.password);

    boxes.password = L"typed-over";
    EXPECT_TRUE(HideLoginLayerCredentials(s, boxes));
    EXPECT_TRUE(boxes.password.empty());
    EXPECT_TRUE(s.password.empty());
    EXPECT_FALSE(s.keepPassword);
    EXPECT_EQ(L"0", ReadIni(s.configPath, L"KeepPSW"));
    EXPECT_GT(FileBytes().size(), 0u);  // "info.db" is not touched here
}

TEST_F(SavedPasswordTest, ShutdownRules) {
    CredentialBoxes boxes{L"demo", L"demo123", true, true};
    StoreLoginCredentials(s, boxes);

    // Another name typed and never signed in: everything forgotten.
    CredentialBoxes other = boxes;
    other.userName = L"someone";
    ShutdownCredentials(s, other);
    EXPECT_EQ(L"", ReadIni(s.configPath, L"UserName"));
    EXPECT_EQ(L"0", ReadIni(s.configPath, L"AutoLogin"));
    EXPECT_EQ(L"0", ReadIni(s.configPath, L"KeepPSW"));
    EXPECT_EQ(0u, FileBytes().size());
    EXPECT_TRUE(s.keepPassword);  // memory is left alone

    // Keep cleared while signed in: the password goes at exit.
    StoreLoginCredentials(s, boxes);
    CredentialBoxes unkept = boxes;
    unkept.keep = false;
    unkept.autoLogin = false;
    ShutdownCredentials(s, unkept);
    EXPECT_EQ(L"0", ReadIni(s.configPath, L"KeepPSW"));
    EXPECT_EQ(0u, FileBytes().size());

    // Kept and unchanged, auto cleared: only "AutoLogin" changes.
    StoreLoginCredentials(s, boxes);
    CredentialBoxes noAuto = boxes;
    noAuto.autoLogin = false;
    ShutdownCredentials(s, noAuto);
    EXPECT_EQ(L"0", ReadIni(s.configPath, L"AutoLogin"));
    EXPECT_EQ(L"1", ReadIni(s.configPath, L"KeepPSW"));
    EXPECT_GT(FileBytes().size(), 0u);
}

}  // namespace
