#include "shell/app_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/unique_handle.h"
#include "tests/support/inspect.h"

namespace {

using testing_support::ReadIni;

std::wstring RunValue() {
    return testing_support::RegistryString(L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"tavo");
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW(settings.DataFilePath(L"config.ini").c_str());
        wchar_t exe[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        exePath = exe;
    }
    AppSettings settings;
    std::wstring exePath;
};

TEST_F(AppSettingsTest, FirstRunDefaultsAndAutoStartRegistration) {
    settings.Load();
    const std::wstring ini = settings.configPath;
    EXPECT_EQ(settings.DataFilePath(L"config.ini"), ini);
    EXPECT_EQ(L"1", ReadIni(ini, L"Main", L"KeepPSW"));
    EXPECT_EQ(L"0", ReadIni(ini, L"Main", L"AutoLogin"));
    EXPECT_EQ(L"1", ReadIni(ini, L"Main", L"AutoRun"));
    EXPECT_EQ(L"0", ReadIni(ini, L"Main", L"ExitBtnDoHide"));
    EXPECT_EQ(L"0", ReadIni(ini, L"Main", L"MainPanelTopmost"));
    EXPECT_EQ(L"0", ReadIni(ini, L"Main", L"HideToTraybarNoticed"));
    EXPECT_EQ(L"<absent>", ReadIni(ini, L"Main", L"PlayVoiceWhenInquiryIn"));
    EXPECT_EQ(exePath, RunValue());

    EXPECT_TRUE(settings.keepPassword);
    EXPECT_TRUE(settings.autoRun);
    EXPECT_FALSE(settings.autoLogin);
    EXPECT_FALSE(settings.playVoiceOnInquiry);
    EXPECT_EQ(settings.DataFilePath(L"info.db"), settings.passwordPath);

    // The Run value is shared by every test process: its other cases live here.

    settings.executablePathOverride = settings.DataFilePath(L"missing.exe");
    EXPECT_FALSE(settings.EnableAutoRun());
    EXPECT_FALSE(settings.autoRun);
    EXPECT_EQ(L"0", ReadIni(settings.configPath, L"Main", L"AutoRun"));

    settings.executablePathOverride.clear();
    EXPECT_TRUE(settings.EnableAutoRun());
    EXPECT_EQ(exePath, RunValue());
    EXPECT_TRUE(settings.DisableAutoRun());
    EXPECT_EQ(L"<absent>", RunValue());
    EXPECT_EQ(L"0", ReadIni(settings.configPath, L"Main", L"AutoRun"));
}

TEST_F(AppSettingsTest, ExistingFileIsReadNotRewritten) {
    const std::wstring ini = settings.DataFilePath(L"config.ini");
    ::WritePrivateProfileStringW(L"Main", L"AutoLogin", L"2", ini.c_str());
    ::WritePrivateProfileStringW(L"Main", L"PlayVoiceWhenInquiryIn", L"1", ini.c_str());
    settings.Load();
    EXPECT_TRUE(settings.autoLogin);  // any non-zero value is true
    EXPECT_TRUE(settings.playVoiceOnInquiry);
    EXPECT_FALSE(settings.keepPassword);  // no defaults for an existing file
    EXPECT_EQ(L"<absent>", ReadIni(ini, L"Main", L"KeepPSW"));
    settings.WriteInt(L"Main", L"AutoLogin", settings.autoLogin ? 1 : 0);
    EXPECT_EQ(L"1", ReadIni(ini, L"Main", L"AutoLogin"));
}

TEST_F(AppSettingsTest, WindowRectangleRules) {
    settings.Load();
    RECT r = {};
    EXPECT_FALSE(settings.ReadWindowRect(r));  // missing keys read 0

    settings.WriteWindowRect(RECT{100, 120, 140, 600});  // 40 wide
    EXPECT_FALSE(settings.ReadWindowRect(r));
    EXPECT_FALSE(settings.SavedWindowPlacement(r));

    settings.WriteWindowRect(RECT{0, 120, 300, 700});  // left 0
    EXPECT_TRUE(settings.ReadWindowRect(r));
    EXPECT_FALSE(settings.SavedWindowPlacement(r));

    settings.WriteWindowRect(RECT{10, 20, 310, 720});
    ASSERT_TRUE(settings.SavedWindowPlacement(r));
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(20, r.top);
    EXPECT_EQ(310, r.right);
    EXPECT_EQ(720, r.bottom);

    // A minimised window's rectangle lies at negative coordinates: not saved.
    settings.SaveWindowPlacement(RECT{-32000, -32000, -31840, -31972});
    ASSERT_TRUE(settings.SavedWindowPlacement(r));
    EXPECT_EQ(10, r.left);
}

TEST_F(AppSettingsTest, UserFileAndLastReadTime) {
    settings.Load();
    settings.uid = 12345;
    settings.SetUserSession(true);
    EXPECT_TRUE(settings.signedIn);
    EXPECT_EQ(settings.DataFilePath(L"12345\\userConfig.ini"), settings.userFilePath);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(settings.DataFilePath(L"12345").c_str()));

    ::DeleteFileW(settings.userFilePath.c_str());
    settings.serverTimeAtSync = 1700000000;
    settings.LoadLastReadTime();  // absent: the time of the last synchronisation
    EXPECT_EQ(1700000000, settings.lastReadTime);

    settings.lastReadTime = 5000000000LL;  // beyond 32 bits
    settings.SaveLastReadTime();
    settings.lastReadTime = 0;
    settings.LoadLastReadTime();
    EXPECT_EQ(5000000000LL, settings.lastReadTime);
}

TEST_F(AppSettingsTest, HideToTrayNoticedIsWrittenWhenTheRecordGoes) {
    std::wstring ini;
    {
        AppSettings local;
        local.Load();
        ini = local.configPath;
        local.hideToTrayNoticed = true;
    }
    EXPECT_EQ(L"1", ReadIni(ini, L"Main", L"HideToTraybarNoticed"));
}

TEST_F(AppSettingsTest, UserNameKeepsChineseText) {
    settings.Load();
    settings.WriteString(L"Main", L"UserName", L"张三旅行社");
    EXPECT_EQ(L"张三旅行社", settings.ReadString(L"Main", L"UserName"));
}

bool SameWriteTime(const std::wstring& path, const FILETIME& ft) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           ::CompareFileTime(&data.ftLastWriteTime, &ft) == 0;
}

void AgeFile(const std::wstring& path, FILETIME& ft) {
    SYSTEMTIME st = {2001, 1, 0, 1, 0, 0, 0, 0};
    ::SystemTimeToFileTime(&st, &ft);
    shell::UniqueFile f(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr));
    ASSERT_TRUE(static_cast<bool>(f));
    ::SetFileTime(f.get(), nullptr, nullptr, &ft);
}

TEST_F(AppSettingsTest, UnchangedValuesAreNotWrittenAgain) {
    // Every sign-in writes the same flags and name; each write rewrites the
    // whole file, so values already there are skipped.
    settings.Load();
    settings.WriteString(L"Main", L"UserName", L"张三");
    settings.WriteString(L"Main", L"Empty", L"");
    FILETIME old = {};
    AgeFile(settings.configPath, old);
    EXPECT_TRUE(settings.WriteInt(L"Main", L"KeepPSW", 1));
    EXPECT_TRUE(settings.WriteInt(L"Main", L"AutoLogin", 0));
    EXPECT_TRUE(settings.WriteString(L"Main", L"UserName", L"张三"));
    EXPECT_TRUE(settings.WriteString(L"Main", L"Empty", L""));
    EXPECT_TRUE(SameWriteTime(settings.configPath, old));

    // A changed value, and a new empty one, are written.
    EXPECT_TRUE(settings.WriteInt(L"Main", L"AutoLogin", 1));
    EXPECT_EQ(L"1", ReadIni(settings.configPath, L"Main", L"AutoLogin"));
    EXPECT_FALSE(SameWriteTime(settings.configPath, old));
    EXPECT_TRUE(settings.WriteString(L"Main", L"Fresh", L""));
    EXPECT_EQ(L"", ReadIni(settings.configPath, L"Main", L"Fresh"));

    settings.uid = 777;
    settings.SetUserSession(true);
    settings.lastReadTime = 1700000001;
    settings.SaveLastReadTime();
    AgeFile(settings.userFilePath, old);
    settings.SaveLastReadTime();
    EXPECT_TRUE(SameWriteTime(settings.userFilePath, old));
}

}  // namespace
