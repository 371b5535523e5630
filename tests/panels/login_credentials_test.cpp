#include "panels/login_credentials.h"

#include <gtest/gtest.h>

#include "shell/app_settings.h"
#include "shell/saved_password.h"
#include "tests/support/inspect.h"
#include "tests/support/fresh_settings.h"
#include "tests/support/paths.h"

namespace {

std::wstring ReadIni(const std::wstring& path, const wchar_t* key) {
    return testing_support::ReadIni(path, L"Main", key);
}

class LoginCredentialsTest : public testing_support::FreshSettingsTest {};

TEST_F(LoginCredentialsTest, StartFillsTheBoxesAndOptionsAreCoupled) {
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

TEST_F(LoginCredentialsTest, SuccessfulLoginStoresWhatTheUserChose) {
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

TEST_F(LoginCredentialsTest, HidingTheLoginLayer) {
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

TEST_F(LoginCredentialsTest, ShutdownRules) {
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
