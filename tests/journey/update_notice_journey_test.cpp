// The update notice in the real client: with a newer version and a due
// notice published, the main window's one-shot timer leads to the notice's
// layout in the update folder, 2199 at the main window and the notice
// window at the bottom right, while the window keeps answering.
#include <windows.h>

#include <gtest/gtest.h>

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

constexpr char kLayout[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Window size=\"271,173\" caption=\"0,0,0,173\">"
    "<Label name=\"LabelContent\" text=\"99.0.0.0\"/></Window>\n";

class UpdateNoticeJourney : public journey::JourneyTest {
protected:
    Json::Value InitialState() override {
        Json::Value state = JourneyTest::InitialState();
        state["version_page"] = "product=yunfan\r\nlastVersion=99.0.0.0\r\n";
        state["notice_config"]["99.0.0.0"] = R"({"general":{"on":"true","file":"n.xml","freq":"3"},"specialoff":{}})";
        state["notice_info"]["99.0.0.0/n.xml"] = kLayout;
        return state;
    }

    void SetUp() override {
        JourneyTest::SetUp();
        if (HasFatalFailure()) return;
        // The check comes after seconds instead of 47.
        const std::wstring exe = client->exe();
        const std::wstring ini = exe.substr(0, exe.find_last_of(L'\\')) + L"\\service.ini";
        ::WritePrivateProfileStringW(L"Service", L"NoticeCheckMs", L"1500", ini.c_str());
    }

    void TearDown() override {
        if (hook != nullptr) ::UnhookWindowsHookEx(hook);
        JourneyTest::TearDown();
    }

    size_t Requests(const char* path) { return standin.ReceivedAt(path).size(); }
    std::string LayoutOnDisk() const {
        return testing_support::ReadFileBytes(profile->data() + L"\\update\\upd_available_notice.xml");
    }
    // Hooks the client's window thread with the message witness; the event
    // is set once `message` has reached the main window.
    bool Witness(UINT message) {
        witnessed.reset(::CreateEventW(nullptr, TRUE, FALSE, (L"zudedo-witness-" + std::to_wstring(message)).c_str()));
        witness.reset(::LoadLibraryW(testing_support::BinaryPath("tests/message_witness.dll").c_str()));
        if (!witnessed || !witness) return false;
        auto proc =
            reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(witness.get(), "WitnessGetMessage")));
        const DWORD thread = ::GetWindowThreadProcessId(client->window(), nullptr);
        if (proc == nullptr || thread == 0) return false;
        hook = ::SetWindowsHookExW(WH_GETMESSAGE, proc, witness.get(), thread);
        return hook != nullptr;
    }
    bool Witnessed() const { return ::WaitForSingleObject(witnessed.get(), 0) == WAIT_OBJECT_0; }

    bool Answers() const {
        DWORD_PTR result = 0;
        return ::SendMessageTimeoutW(client->window(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0;
    }

    shell::UniqueHandleKernel witnessed;
    shell::UniqueModule witness;
    HHOOK hook = nullptr;
};

TEST_F(UpdateNoticeJourney, ADueNoticeShowsAfterTheTimerAndEscapeRecordsIt) {
    ASSERT_TRUE(client->Start());
    ASSERT_NE(nullptr, client->WaitForWindow());
    ASSERT_TRUE(Witness(2199));
    EXPECT_TRUE(journey::WaitUntil([&] { return Witnessed(); }, 30000)) << "2199 never reached the main window";
    HWND notice = nullptr;
    ASSERT_TRUE(journey::WaitUntil(
        [&] {
            notice = ::FindWindowW(L"zudedo_update_available_panel", nullptr);
            return notice != nullptr && ::IsWindowVisible(notice);
        },
        10000))
        << "no notice window after 2199";
    // The window read the layout and took it out of the update folder.
    EXPECT_TRUE(LayoutOnDisk().empty());
    EXPECT_EQ(1u, Requests("/soft/sq/update/version_lastest.htm"));
    // The version page's CR LF did not reach the addresses.
    EXPECT_EQ(1u, Requests("/soft/sq/update/update_notice/99.0.0.0/notice_config"));
    EXPECT_EQ(1u, Requests("/soft/sq/update/update_notice/99.0.0.0/notice_info/n.xml"));
    RECT rc{}, work{};
    ::GetWindowRect(notice, &rc);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(work.right - 8, rc.right, 4);
    EXPECT_NEAR(work.bottom - 2, rc.bottom, 2);

    ASSERT_TRUE(journey::BringToFront(notice));
    journey::Press(VK_ESCAPE);
    ASSERT_TRUE(journey::WaitUntil([&] { return !::IsWindow(notice); }, 5000)) << "Escape did not close the notice";
    EXPECT_NE(L"<absent>", testing_support::RegistryString(L"Software\\tavo", L"lastUpdNotice"));
    EXPECT_TRUE(Answers());
    EXPECT_EQ(0u, client->Close());
}

TEST_F(UpdateNoticeJourney, ASilentWebHostLeavesTheWindowAnswering) {
    Json::Value fault;
    fault["path"] = "/soft/sq/update/update_notice/99.0.0.0/notice_config";
    fault["kind"] = "hang";
    standin.Fault(fault);
    ASSERT_TRUE(client->Start());
    ASSERT_NE(nullptr, client->WaitForWindow());
    ASSERT_TRUE(Witness(2199));
    ASSERT_TRUE(journey::WaitUntil(
        [&] { return Requests("/soft/sq/update/update_notice/99.0.0.0/notice_config") == 1; }, 30000));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(Answers()) << "the window stopped answering while the host was silent";
        journey::Pause(300);
    }
    EXPECT_TRUE(LayoutOnDisk().empty());
    EXPECT_FALSE(Witnessed());
    EXPECT_EQ(0u, client->Close());
}

}  // namespace
