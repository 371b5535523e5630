#include "update/check_update.h"

#include <shlobj.h>

#include <cstddef>
#include <cstring>

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

// Offsets into a PE image held as bytes.
size_t NtHeaders(const std::string& pe) {
    LONG at = 0;
    std::memcpy(&at, pe.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), sizeof(at));
    return static_cast<size_t>(at);
}
size_t OptionalHeader(const std::string& pe) { return NtHeaders(pe) + 4 + sizeof(IMAGE_FILE_HEADER); }
template <typename T>
void Put(std::string& bytes, size_t offset, T value) {
    std::memcpy(&bytes[offset], &value, sizeof(value));
}

// The same program with another file version in its version resource.
std::string WithFileVersion(std::string pe, DWORD ms, DWORD ls) {
    const std::string signature("\xBD\x04\xEF\xFE", 4);
    size_t at = pe.find(signature);
    if (at == std::string::npos) return pe;
    Put(pe, at + offsetof(VS_FIXEDFILEINFO, dwFileVersionMS), ms);
    Put(pe, at + offsetof(VS_FIXEDFILEINFO, dwFileVersionLS), ls);
    return pe;
}

// Movers standing in for a client without administrator rights.
int g_delayedMoves = 0;
BOOL WINAPI RefuseEveryMove(LPCWSTR, LPCWSTR, DWORD) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI ScheduleOnly(LPCWSTR, LPCWSTR, DWORD flags) {
    if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) == 0) {
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    ++g_delayedMoves;
    return TRUE;
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
    void TearDown() override {
        CheckUpdate::SetFileMover(nullptr);
        ServiceTest::TearDown();
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
        PublishBytes(versionPage, StubBytes(servedStub));
    }
    void PublishBytes(const char* versionPage, const std::string& bytes) {
        Json::Value page;
        page["path"] = "/soft/sq/update/update_app/update_exe_version.htm";
        page["body"] = versionPage;
        standin.Reply(page);
        Json::Value state;
        std::string hex;
        for (unsigned char c : bytes) hex += shell::Format("%02x", c);
        state["update_exe_hex"] = hex;
        standin.SetState(state);
    }
    static std::string StubBytes(const char* stub) { return testing_support::ReadFileBytes(Stub(stub)); }
    // Runs one check with a 1.0.0.4 updater in place and the page announcing
    // 1.0.0.5; true when the download replaced the updater.
    bool Replaced(const std::string& served) {
        ::DeleteFileW(CmdlinePath().c_str());
        InstallLocalUpdater("stub_updater_1004");
        PublishBytes("lastVersion=1.0.0.5", served);
        CheckUpdate checker;
        checker.CheckPendingUpdate();
        // The updater in place is started in check mode either way.
        EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((checker.UpdaterPath() + L".tmp").c_str()));
        const bool replaced = VersionInfo::FromFile(checker.UpdaterPath()).text != L"1.0.0.4";
        EXPECT_EQ(replaced ? L"1.0.0.5" : L"<absent>", RegistryValue(L"UpdExeVersion"));
        return replaced;
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

TEST_F(CheckUpdateTest, AWebPageNeverReplacesTheUpdater) {
    const std::string page = "<html>Not Found</html>\r\n";
    ASSERT_EQ(24u, page.size());
    EXPECT_FALSE(Replaced(page));
}

TEST_F(CheckUpdateTest, OnlyAnX64ProgramOfTheAnnouncedVersionReplacesTheUpdater) {
    const std::string good = StubBytes("stub_updater_1005");
    ASSERT_GT(good.size(), 1024u);
    std::string i386 = good;
    Put<WORD>(i386, NtHeaders(i386) + 4 + offsetof(IMAGE_FILE_HEADER, Machine), IMAGE_FILE_MACHINE_I386);
    std::string pe32 = good;
    Put<WORD>(pe32, OptionalHeader(pe32), IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    std::string noPe = good;
    Put<DWORD>(noPe, NtHeaders(noPe), 0);
    std::string library = good;
    const size_t characteristics = NtHeaders(library) + 4 + offsetof(IMAGE_FILE_HEADER, Characteristics);
    WORD flags = 0;
    std::memcpy(&flags, &library[characteristics], sizeof(flags));
    Put<WORD>(library, characteristics, flags | IMAGE_FILE_DLL);

    EXPECT_FALSE(Replaced(i386)) << "another machine";
    EXPECT_FALSE(Replaced(pe32)) << "a 32-bit image";
    EXPECT_FALSE(Replaced(noPe)) << "no PE header";
    EXPECT_FALSE(Replaced(library)) << "a library";
    EXPECT_FALSE(Replaced(good.substr(0, 512))) << "cut short";
    EXPECT_FALSE(Replaced("MZ")) << "two bytes";
    EXPECT_FALSE(Replaced(StubBytes("stub_updater_1004"))) << "an older version than announced";
    EXPECT_FALSE(Replaced(WithFileVersion(good, 0x00010000, 0x00000006))) << "a newer version than announced";
    EXPECT_FALSE(Replaced(StubBytes("stub_updater_nover"))) << "no version";
    EXPECT_TRUE(Replaced(good));
}

TEST_F(CheckUpdateTest, ADamagedSignatureIsRefused) {
    // A certificate table that holds no valid signature.
    std::string pe = StubBytes("stub_updater_1005");
    while (pe.size() % 8 != 0) pe.push_back('\0');
    const size_t table = pe.size();
    std::string certificate(8, '\0');
    Put<DWORD>(certificate, 0, 8 + 256);
    Put<WORD>(certificate, 4, 0x0200);  // WIN_CERT_REVISION_2_0
    Put<WORD>(certificate, 6, 0x0002);  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
    certificate += std::string(256, '\x5A');
    pe += certificate;
    IMAGE_DATA_DIRECTORY security = {static_cast<DWORD>(table), static_cast<DWORD>(certificate.size())};
    Put(pe, OptionalHeader(pe) + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY),
        security);
    EXPECT_FALSE(Replaced(pe));
}

TEST_F(CheckUpdateTest, AMoveThatCannotHappenIsNotRecorded) {
    CheckUpdate::SetFileMover(&RefuseEveryMove);
    EXPECT_FALSE(Replaced(StubBytes("stub_updater_1005")));  // nor its temporary file left behind
}

TEST_F(CheckUpdateTest, AMoveScheduledForTheRestartIsRecorded) {
    g_delayedMoves = 0;
    CheckUpdate::SetFileMover(&ScheduleOnly);
    InstallLocalUpdater("stub_updater_1004");
    Publish("lastVersion=1.0.0.5");
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));
    EXPECT_EQ(1, g_delayedMoves);
    EXPECT_EQ(L"1.0.0.5", RegistryValue(L"UpdExeVersion"));
    // Kept for the move at the restart.
    EXPECT_EQ(L"1.0.0.5", VersionInfo::FromFile(checker.UpdaterPath() + L".tmp").text);
    EXPECT_EQ(L"1.0.0.4", VersionInfo::FromFile(checker.UpdaterPath()).text);
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
    // The version page gets the same limit: long enough for a loaded
    // machine; the download's (twenty times as long) ends first.
    api::SetRequestTimeLimit(500);
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched(30000).find(L" -c 2198"));
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
    PublishBytes("lastVersion=2.1\r\n", WithFileVersion(StubBytes("stub_updater_1005"), 0x00020001, 0));
    CheckUpdate checker;
    checker.CheckPendingUpdate();
    EXPECT_NE(std::wstring::npos, Launched().find(L" -c 2198"));
    EXPECT_EQ(1u, Downloads());
    EXPECT_EQ("2.1\r\n", checker.LatestUpdaterVersion());
    EXPECT_EQ(L"2.1\r\n", RegistryValue(L"UpdExeVersion"));
    EXPECT_EQ(L"2.1.0.0", VersionInfo::FromFile(checker.UpdaterPath()).text);
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
