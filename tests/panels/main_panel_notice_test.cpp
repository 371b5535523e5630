// The main window's one-shot notice timer starts the update-notice check
// once; a due notice's layout lands in the update folder and the notice
// window takes it from there.
#include "tests/panels/main_panel_fixture.h"
#include "tests/support/paths.h"
#include "update/update_check_aid_busi.h"

using testing_support::MainPanelTest;

namespace {

class MainPanelNoticeTest : public MainPanelTest {
protected:
    size_t VersionPageRequests() { return standin.ReceivedAt("/soft/sq/update/version_lastest.htm").size(); }
};

TEST_F(MainPanelNoticeTest, TheNoticeTimerChecksOncePerStart) {
    Json::Value state;
    state["version_page"] = "lastVersion=99.0.0.0\r\n";
    state["notice_config"]["99.0.0.0"] = R"({"general":{"on":"true","file":"n.xml","freq":"0"},"specialoff":{}})";
    state["notice_info"]["99.0.0.0/n.xml"] =
        "<Window size=\"271,173\"><VerticalLayout><Label name=\"Title\" text=\"新版本\"/></VerticalLayout></Window>";
    standin.SetState(state);
    MainPanel::Periods periods = ShortPeriods();
    periods.noticeCheck = 300;
    Open(periods);
    HWND notice = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            notice = ::FindWindowW(L"zudedo_update_available_panel", nullptr);
            return notice != nullptr && ::IsWindowVisible(notice);
        },
        10000));
    // Read once, then gone from the update folder.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(UpdateCheckAidBusi::LayoutPath().c_str()));
    // Several periods later the timer has not fired again.
    PumpFor(1200);
    EXPECT_EQ(1u, VersionPageRequests());
    ::DestroyWindow(notice);
}

TEST_F(MainPanelNoticeTest, ClosingWhileTheHostIsSilentDoesNotWaitForIt) {
    Json::Value fault;
    fault["path"] = "/soft/sq/update/version_lastest.htm";
    fault["kind"] = "hang";
    standin.Fault(fault);
    MainPanel::Periods periods = ShortPeriods();
    periods.noticeCheck = 100;
    Open(periods);
    ASSERT_TRUE(PumpUntil([&] { return VersionPageRequests() == 1; }, 10000));
    const ULONGLONG before = ::GetTickCount64();
    ::PostMessageW(*panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    EXPECT_LT(::GetTickCount64() - before, 3000u);
}

}  // namespace
