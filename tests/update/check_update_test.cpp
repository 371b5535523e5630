#include "update/check_update.h"

#include <shlobj.h>

#include "api/program_version.h"
#include "shell/text.h"
#include "shell/unique_handle.h"
#include "tests/support/paths.h"
#include "tests/support/service_fixture.h"
#include "tests/support/inspect.h"

namespace {

std::wstring RegistryValue(const wchar_t* name) {
    return testing_support::RegistryString(L"Software\\tavo", name);
}

std::wstring Stub(const char* name) {
    return testing_support::BinaryPath((std::string("tests/") + name + ".exe").c_str());
}

class CheckUpdateTest : public testing_support::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        folder = CheckUpdate::UpdateFolder();
        ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        ::DeleteFileW((folder + L"\\update.exe").c_str());
        ::DeleteFileW(CmdlinePath().c_str());
        ::DeleteFileW(CheckUpdate::UpdateInfoPath().c_str());
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\tavo", 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key.get(), L"UpdExeVersion");
        }
    }
    std::wstring CmdlinePath() const { return folder + L"\\updater-cmdline.txt"; }
    void InstallLocalUpdater(const char* stub) {
        ASSERT_TRUE(::CopyFileW(Stub(stub).c_str(), (folder + L"\\update.exe").c_str(), FALSE));
    }
    void NeedUpdate(int value) {
        ::WritePrivateProfileStringW(L"UpdateInfo", L"NeedUpdate", std::to_wstring(value).c_str(),
                                     CheckUpdate::UpdateInfoPath().c_str());
    }
    void Publish(const char* versionPage, const char* servedStub = "stub_updater_1005") {
        Json::Value page;
        page["path"] = "/soft/sq/update/update_app/update_exe_version.htm";
        page["body"] = versionPage;
        standin.Reply(page);
        Json::Value state;
        std::string bytes = testing_support::ReadFileBytes(Stub(servedStub));
        std::string hex;
        for (unsigned char c : bytes) hex += shell::Format("%02x", c);
        state["update_exe_hex"] = hex;
        standin.SetState(state);
    }
    // The command lines the stub updater recorded, waiting for the first.
    std::wstring Launched(DWORD waitMs = 5000) {
        testing_support::PumpUntil([&] { return !testing_support::ReadFileBytes(CmdlinePath()).empty(); }, waitMs);
        std::string raw = testing_support::ReadFileBytes(CmdlinePath());
        return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
    }
    size_t VersionRequests() { return standin.ReceivedAt("/soft/sq/update/update_app/update_exe_version.htm").size(); }
    size_t Downloads() { return standin.ReceivedAt("/soft/sq/update/update_app/update.exe").size(); }

    std::wstring folder;
};

TEST_F(CheckUpdateTest, RecordsTheClientVersion) {
    CheckUpdate checker;
    EXPECT_EQ(ProgramVersion().text, RegistryValue(L"Version"));
    EXPECT_EQ(L"\"" + checker.UpdaterPath() + L"\" -c 2198", checker.CommandLine(false));
}

TEST_F(CheckUpdateTest, PendingPackageHandsOverToTheUpdater) {
    InstallLocalUpdater("stub_updater_1004");
    NeedUpdate(1);
    CheckUpdate checker;
    EXPECT_TRUE(checker.CheckPendingUpdate());
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(L"\"" + checker.UpdaterPath() + L"\" -u \"" + self + L"\"\n", Launched());
    Settle(checker);
    EXPECT_EQ(0u, VersionRequests());
}

TEST_F(CheckUpdateTest, PendingPackageWithoutUpdaterStartsNormally) {
    NeedUpdate(1);
    CheckUpdate checker;
    EXPECT_FALSE(checker.CheckPendingUpdate());
    Settle(checker);
    EXPECT_EQ(0u, VersionRequests());
}

TEST_F(CheckUpdateTest, OlderUpdaterIsReplacedThenStarted) {
    InstallLocalUpdater("stub_updater_1004");
    Publish("lastVersion=1.0.0.5");
    CheckUpdate checker;
    EXPECT_FALSE(checker.CheckPendingUpdate());
    std::wstring line = Launched();
    EXPECT_EQ(L"\"" + checker.UpdaterPath() + L"\" -c 2198\n", line);
    EXPECT_EQ(1u, Downloads());
    EXPECT_EQ(L"1.0.0.5", VersionInfo::FromFile(checker.UpdaterPath()).text);
    EXPECT_EQ(L"1.0.0.5", RegistryValue(L"UpdExeVersion"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((checker.UpdaterPath() + L".tmp").c_str()));
}

TEST_F(CheckUpdateTest, ACutOffDownloadLeavesTheUpdaterInPlace) {
    InstallLocalUpdater("stub_updater_1004");
    Publish("lastVersion=1.0.0.5");
    Json::Value fault;
    fault["path"] = "/soft/sq/update/update_app/update.exe";
    fault["kind"] = "drop";
    standin.Fault(fault);
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));  // the old one still runs
    EXPECT_EQ(1u, Downloads());
    EXPECT_EQ(L"1.0.0.4", VersionInfo::FromFile(checker.UpdaterPath()).text);
    EXPECT_EQ(L"<absent>", RegistryValue(L"UpdExeVersion"));
}

TEST_F(CheckUpdateTest, AHungDownloadEndsAtItsLimitWithTheOldUpdater) {
    InstallLocalUpdater("stub_updater_1004");
    Publish("lastVersion=1.0.0.5");
    Json::Value fault;
    fault["path"] = "/soft/sq/update/update_app/update.exe";
    fault["kind"] = "hang";
    standin.Fault(fault);
    api::SetRequestTimeLimit(200);
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched(20000).find(L" -c 2198"));
    EXPECT_EQ(L"1.0.0.4", VersionInfo::FromFile(checker.UpdaterPath()).text);
    EXPECT_EQ(L"<absent>", RegistryValue(L"UpdExeVersion"));
}

TEST_F(CheckUpdateTest, CurrentUpdaterStartsWithoutDownload) {
    InstallLocalUpdater("stub_updater_1005");
    Publish("lastVersion=1.0.0.5");
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));
    Settle(checker);
    EXPECT_EQ(0u, Downloads());
    EXPECT_EQ(L"<absent>", RegistryValue(L"UpdExeVersion"));
}

TEST_F(CheckUpdateTest, LooseVersionTextAndUnversionedUpdater) {
    InstallLocalUpdater("stub_updater_nover");  // reads as version 0
    Publish("lastVersion=2.1\r\n");
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));
    EXPECT_EQ(1u, Downloads());
    EXPECT_EQ("2.1\r\n", checker.LatestUpdaterVersion());
    EXPECT_EQ(L"2.1\r\n", RegistryValue(L"UpdExeVersion"));
    EXPECT_EQ(VersionInfo::Parse(L"2.1.0.0").Number(), VersionInfo::Parse(L"2..1", true).Number());
}

TEST_F(CheckUpdateTest, UnrecognisedPageKeepsTheLocalUpdater) {
    InstallLocalUpdater("stub_updater_1004");
    Publish("lastversion=9.0.0.0");
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));
    Settle(checker);
    EXPECT_EQ(0u, Downloads());
    EXPECT_EQ(L"1.0.0.4", VersionInfo::FromFile(checker.UpdaterPath()).text);
}

TEST_F(CheckUpdateTest, MissingVersionPageDoesNothingElse) {
    Json::Value rule;
    rule["path"] = "/soft/sq/update/update_app/update_exe_version.htm";
    rule["body"] = "not found";
    rule["status"] = 404;
    standin.Reply(rule);
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    Settle(checker);
    testing_support::PumpFor(300);
    EXPECT_EQ(0u, Downloads());
    EXPECT_TRUE(testing_support::ReadFileBytes(CmdlinePath()).empty());
}

}  // namespace
