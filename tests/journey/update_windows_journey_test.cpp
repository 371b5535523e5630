// Journeys through the end of an update cycle with the real executable: the
// updater (a stub) reports a downloaded package and the person installs it
// now; a notice of a new version shows at the bottom right and is closed
// with Escape.
#include <windows.h>
#include <shlobj.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>

#include "shell/unique_handle.h"
#include "tests/journey/driver.h"
#include "tests/journey/fixture.h"
#include "tests/support/inspect.h"
#include "tests/support/paths.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

const wchar_t kNoticeClass[] = L"zudedo_update_available_panel";
const wchar_t kDownloadedClass[] = L"zudedo_update_avaiable_panel";

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
           put == bytes.size();
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class UpdateJourney : public journey::JourneyTest {
protected:
    void SetUp() override {
        JourneyTest::SetUp();
        if (HasFatalFailure()) return;
        update = profile->data() + L"\\update";
        ::SHCreateDirectoryExW(nullptr, update.c_str(), nullptr);
    }

    std::wstring update;
};

TEST_F(UpdateJourney, DownloadedPackageInstalledNowHandsOverToTheUpdaterAndEnds) {
    // An updater as new as the one published: the client starts it in check
    // mode at once, and it finds a package ready.
    ASSERT_TRUE(::CopyFileW(testing_support::BinaryPath("tests/stub_updater_1005.exe").c_str(),
                            (update + L"\\update.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(update + L"\\updatepackage_downloaded_panel.xml",
                           testing_support::ReadFileBytes(
                               testing_support::SourcePath("tests/update/fixtures/updatepackage_downloaded_panel.xml"))));
    ASSERT_TRUE(client->Start());
    ASSERT_NE(nullptr, client->WaitForWindow());

    const HWND panel = WaitForWindowOf(kDownloadedClass, 15000);
    ASSERT_NE(nullptr, panel) << "no update-downloaded panel after the updater's message";
    EXPECT_FALSE(Exists(update + L"\\updatepackage_downloaded_panel.xml"));
    std::optional<journey::Element> now;
    journey::WaitUntil([&] { return (now = journey::Find(panel, L"立即更新", ROLE_SYSTEM_PUSHBUTTON)).has_value(); },
                       5000);
    ASSERT_TRUE(now) << journey::Describe(journey::ReadWindow(panel));
    journey::Click(*now);

    ASSERT_TRUE(client->Exited(20000)) << "the client kept running after handing over";
    EXPECT_EQ(0u, client->Close());
    // The updater runs on its own: its record comes when it comes.
    std::wstring lines;
    const std::wstring install = L" -u \"" + client->exe() + L"\"";
    journey::WaitUntil(
        [&] {
            const std::string raw = testing_support::ReadFileBytes(update + L"\\updater-cmdline.txt");
            lines.assign(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
            return lines.find(install) != std::wstring::npos;
        },
        10000);
    EXPECT_NE(std::wstring::npos, lines.find(L" -c 2198")) << journey::Utf8(lines);
    EXPECT_NE(std::wstring::npos, lines.find(install)) << journey::Utf8(lines);
    journey::Pause(300);
}

TEST_F(UpdateJourney, NoticeShowsAtTheBottomRightAndEscapeRecordsIt) {
    const testing_support::HttpResult layout =
        testing_support::HttpCall(standin.port(), L"GET", "/soft/sq/update/update_notice/1.0.1.0/notice_info/notice.xml");
    ASSERT_EQ(200, layout.status);
    ASSERT_TRUE(client->Start());
    ASSERT_NE(nullptr, client->WaitForWindow());
    // What the notice check does once a notice is due.
    ASSERT_TRUE(WriteBytes(update + L"\\upd_available_notice.xml", layout.body));
    ::PostMessageW(client->window(), 2199, 0, 0);

    const HWND notice = WaitForWindowOf(kNoticeClass, 15000);
    ASSERT_NE(nullptr, notice);
    EXPECT_FALSE(Exists(update + L"\\upd_available_notice.xml"));
    EXPECT_TRUE(journey::WaitUntil([&] { return journey::Find(notice, L"我知道了", ROLE_SYSTEM_PUSHBUTTON).has_value(); },
                                   5000))
        << journey::Describe(journey::ReadWindow(notice));
    RECT rc, work;
    ::GetWindowRect(notice, &rc);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(work.right - 8, rc.right, 4);
    EXPECT_NEAR(work.bottom - 2, rc.bottom, 2);
    EXPECT_GT(rc.right - rc.left, 100);

    const long long before = std::time(nullptr);
    ASSERT_TRUE(journey::BringToFront(notice));
    journey::Press(VK_ESCAPE);
    ASSERT_TRUE(journey::WaitUntil([&] { return !::IsWindow(notice); }, 5000)) << "Escape did not close the notice";
    const std::wstring seen = testing_support::RegistryString(L"Software\\tavo", L"lastUpdNotice");
    ASSERT_NE(L"<absent>", seen);
    EXPECT_LE(before, std::stoll(seen));
    EXPECT_GE(static_cast<long long>(std::time(nullptr)), std::stoll(seen));
    EXPECT_TRUE(::IsWindow(client->window())) << "the client runs on";
    EXPECT_EQ(0u, client->Close());
}

}  // namespace
