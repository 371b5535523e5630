// The message and notice pop-ups with the real main window and services:
// the stand-in service produces the counts and the notice lists, the
// pop-ups are real windows, and a window of the test stands for the one
// the user is typing in.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "net/shell_open.h"
#include "panels/popup_controller.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "tests/panels/main_panel_fixture.h"
#include "tests/ui/accessible_reader.h"
#include "ui/accessibility.h"
#include "ui/controls.h"
#include "ui/platform.h"

namespace {

using testing_support::MainPanelTest;
using testing_support::Opened;
using testing_support::RecordOpen;



Json::Value Notice(const std::string& title, const std::string& caption, const std::string& content,
                   const std::string& more = "我知道了") {
    Json::Value n;
    n["title"] = title;
    n["caption"] = caption;
    n["content"] = content;
    n["more"] = more;
    return n;
}

class PopupsTest : public MainPanelTest {
protected:
    void SetUp() override {
        MainPanelTest::SetUp();
        Opened().clear();
        SetShellExecute(&RecordOpen);
    }
    void TearDown() override {
        MainPanelTest::TearDown();
        SetShellExecute(nullptr);
        if (typing_ != nullptr) ::DestroyWindow(typing_);
    }

    // A window of its own with the keyboard focus in its text box, as the
    // window the user types in when a pop-up comes.
    void StartTyping() {
        typing_ = ::CreateWindowExW(0, L"EDIT", L"typing", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 120,
                                    nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, typing_);
        ::SetForegroundWindow(typing_);
        ::SetFocus(typing_);
        PumpFor(100);
        ASSERT_EQ(typing_, ::GetFocus());
    }
    void ExpectStillTyping(const char* when) {
        EXPECT_EQ(typing_, ::GetFocus()) << when;
        EXPECT_EQ(typing_, ::GetForegroundWindow()) << when;
    }

    PopupMsgPanel* Msg() { return panel->Popups().MessagePopup(); }
    PopupNoticePanel* NoticePopup() { return panel->Popups().NoticePopup(); }
    static bool Shown(PopupWindow* popup) { return popup != nullptr && popup->IsShown(); }

    static ui::Control* In(ui::SkinWindow* window, const wchar_t* name) {
        return window ? window->GetPaintManager().FindControl(name) : nullptr;
    }
    static std::wstring TextIn(ui::SkinWindow* window, const wchar_t* name) {
        ui::Control* c = In(window, name);
        return c ? c->GetText() : L"<none>";
    }
    // A mouse click on a control of a pop-up, as the system delivers it.
    void ClickIn(ui::SkinWindow* window, const wchar_t* name) {
        ui::Control* c = In(window, name);
        ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
        window->GetPaintManager().UpdateLayout();
        const RECT& rc = c->GetPos();
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        const HWND hwnd = window->GetHWND();
        ::PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
        ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
        PumpFor(80);
    }
    // Where the pop-up belongs: the corner next to the notification area.
    static RECT Corner(PopupWindow* popup) {
        RECT rc{};
        ::GetWindowRect(popup->GetHWND(), &rc);
        const UINT dpi = ui::DpiForWindow(popup->GetHWND());
        return ui::CornerNextToTray(ui::FindTrayPlace(), SIZE{rc.right - rc.left, rc.bottom - rc.top},
                                    ui::ScaleBy(PopupWindow::kGapX, dpi), ui::ScaleBy(PopupWindow::kGapY, dpi));
    }
    static void ExpectInCorner(PopupWindow* popup, SIZE unscaled) {
        RECT rc{};
        ASSERT_TRUE(::GetWindowRect(popup->GetHWND(), &rc));
        const UINT dpi = ui::DpiForWindow(popup->GetHWND());
        EXPECT_EQ(ui::ScaleBy(unscaled.cx, dpi), rc.right - rc.left);
        EXPECT_EQ(ui::ScaleBy(unscaled.cy, dpi), rc.bottom - rc.top);
        const RECT want = Corner(popup);
        EXPECT_EQ(want.left, rc.left);
        EXPECT_EQ(want.top, rc.top);
        RECT inside{};
        const RECT work = ui::FindTrayPlace().work;
        EXPECT_TRUE(::IntersectRect(&inside, &rc, &work) && ::EqualRect(&inside, &rc)) << "outside the work area";
    }
    static bool Topmost(PopupWindow* popup) {
        return (::GetWindowLongW(popup->GetHWND(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    }
    // True when `upper` lies above `lower` in the z-order.
    static bool Above(HWND upper, HWND lower) {
        for (HWND h = ::GetWindow(upper, GW_HWNDNEXT); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT)) {
            if (h == lower) return true;
        }
        return false;
    }
    void SetNotices(const Json::Value& notices) {
        Json::Value state;
        state["notices"] = notices;
        standin.SetState(state);
    }
    void SetMessageCount(int n) {
        Json::Value state;
        state["msg_count"] = n;
        standin.SetState(state);
    }
    bool WaitForToken() {
        return PumpUntil([] { return !SynLogin().Token().empty(); });
    }

    // Periods in which a seen message count visibly slows the polling.
    static MainPanel::Periods SlowAfterSeen() {
        MainPanel::Periods p = ShortPeriods();
        p.messages = 300;
        p.slowMessages = 60000;
        return p;
    }

    HWND typing_ = nullptr;
};

TEST_F(PopupsTest, NewMessagesShowTheirCountInTheCornerWithoutTakingTheFocus) {
    SetMessageCount(3);
    Open(SlowAfterSeen());
    ASSERT_TRUE(SignIn());
    StartTyping();
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); })) << "no message pop-up";
    PumpFor(300);  // polls that refill it
    ExpectStillTyping("with the message pop-up up");
    PopupMsgPanel* popup = Msg();

    EXPECT_TRUE(popup->Shows(PopupMsgPanel::Body::kMessages));
    EXPECT_FALSE(popup->Shows(PopupMsgPanel::Body::kInquiries));
    EXPECT_EQ(L"消息中心", TextIn(popup, L"LabelTitle"));
    auto* count = dynamic_cast<ui::Button*>(In(popup, L"MsgCountMsgCenter"));
    ASSERT_NE(nullptr, count);
    EXPECT_EQ(L" 3 ", count->GetText());
    EXPECT_EQ(count->MeasureText(L" 3 ").cx, count->GetFixedWidth());
    EXPECT_EQ(L"点击查看", count->GetToolTip());
    EXPECT_EQ(0xFFFE7435u, count->GetTextColor());
    EXPECT_EQ(L"点击查看", TextIn(popup, L"ReadMoreMsgCenter"));
    EXPECT_EQ(L"关闭", In(popup, L"BtnExit")->GetToolTip());
    EXPECT_TRUE(Topmost(popup));
    const LONG ex = ::GetWindowLongW(popup->GetHWND(), GWL_EXSTYLE);
    EXPECT_NE(0, ex & WS_EX_NOACTIVATE);
    EXPECT_NE(0, ex & WS_EX_TOOLWINDOW);
    EXPECT_EQ(nullptr, ::GetParent(popup->GetHWND()));
    wchar_t cls[64] = {}, title[64] = {};
    ::GetClassNameW(popup->GetHWND(), cls, 64);
    ::GetWindowTextW(popup->GetHWND(), title, 64);
    EXPECT_STREQ(L"zudedo_popup_msg_panel", cls);
    EXPECT_STREQ(L"询价消息", title);
    ExpectInCorner(popup, SIZE{257, 103});

    // A screen reader finds the count and the link.
    auto object = ui::AccessibleOfWindow(popup->GetHWND());
    ASSERT_TRUE(object);
    const auto children = ui_test::ReadChildren(object.get());
    EXPECT_NE(nullptr, ui_test::FindChild(children, L"点击查看", ROLE_SYSTEM_LINK)) << ui_test::Dump(children);
    EXPECT_NE(nullptr, ui_test::FindChild(children, L"关闭", ROLE_SYSTEM_PUSHBUTTON)) << ui_test::Dump(children);

    // "点击查看" opens the notice page signed in, slows the polling and closes.
    ASSERT_TRUE(WaitForToken());
    Opened().clear();
    ClickIn(popup, L"ReadMoreMsgCenter");
    ASSERT_TRUE(PumpUntil([&] { return Msg() == nullptr; })) << "the pop-up stayed";
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(0u, Opened()[0].find(Service().WebOrigin() + L"/alogin?sign="));
    const size_t polls = Received("get_new_msg_count");
    PumpFor(1200);
    EXPECT_LE(Received("get_new_msg_count"), polls + 1) << "the message centre was still polled every 300 ms";
    ExpectStillTyping("after the click");
}

TEST_F(PopupsTest, TheExitButtonOfTheMessageBodySlowsThePollingAndEscapeClosesReturnDoesNot) {
    SetMessageCount(2);
    Open(SlowAfterSeen());
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }));

    ::PostMessageW(Msg()->GetHWND(), WM_KEYDOWN, VK_RETURN, 1);
    PumpFor(150);
    ASSERT_NE(nullptr, Msg()) << "Return closed the pop-up";

    ClickIn(Msg(), L"BtnExit");
    ASSERT_TRUE(PumpUntil([&] { return Msg() == nullptr; }));
    const size_t polls = Received("get_new_msg_count");
    PumpFor(1200);
    EXPECT_LE(Received("get_new_msg_count"), polls + 1);
    EXPECT_TRUE(Opened().empty()) << "closing opened a page";

    // Polling comes back (timer 104), the pop-up too; Escape closes it.
    panel->MessageCentre()->RequestNewMessageCount();
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }));
    ::PostMessageW(Msg()->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(PumpUntil([&] { return Msg() == nullptr; })) << "Escape left the pop-up";
}

TEST_F(PopupsTest, SubscribedInquiriesCountFiveThenNone) {
    Open();
    // No new inquiries: nothing is made.
    ::PostMessageW(*panel, msg::kNewInquiries, 0, 0);
    PumpFor(100);
    EXPECT_EQ(nullptr, Msg());

    ASSERT_TRUE(SignIn());
    ASSERT_NE(nullptr, panel->Subscriptions());
    Json::Value state;
    state["clear_inquiries"] = true;
    Json::Value inquiries(Json::arrayValue);
    for (int i = 0; i < 5; ++i) {
        Json::Value inquiry;
        inquiry["province"] = 11;
        inquiry["content"] = "北京地接" + std::to_string(i);
        inquiries.append(inquiry);
    }
    state["inquiries"] = inquiries;
    standin.SetState(state);
    // The next polls come quickly.
    panel->Subscriptions()->StopPolling();
    panel->Subscriptions()->SetPollInterval(300);
    panel->Subscriptions()->StartPolling();
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }, 10000)) << "no pop-up for the new inquiries";
    PopupMsgPanel* popup = Msg();
    EXPECT_TRUE(popup->Shows(PopupMsgPanel::Body::kInquiries));
    EXPECT_FALSE(popup->Shows(PopupMsgPanel::Body::kMessages));
    EXPECT_EQ(L"询价提醒", TextIn(popup, L"LabelTitle"));
    EXPECT_EQ(L" 5 ", TextIn(popup, L"MsgCountZudedo"));
    EXPECT_EQ(L"点击查看", In(popup, L"MsgCountZudedo")->GetToolTip());
    ExpectInCorner(popup, SIZE{257, 103});

    // Switching bodies changes the title; refilling changes only the count.
    SetMessageCount(7);
    panel->MessageCentre()->RequestNewMessageCount();
    ASSERT_TRUE(PumpUntil([&] { return popup->Shows(PopupMsgPanel::Body::kMessages); }));
    EXPECT_FALSE(popup->Shows(PopupMsgPanel::Body::kInquiries));
    EXPECT_EQ(L"消息中心", TextIn(popup, L"LabelTitle"));
    EXPECT_EQ(L" 7 ", TextIn(popup, L"MsgCountMsgCenter"));
    EXPECT_EQ(popup, Msg()) << "a second pop-up was made";
    popup->Fill(PopupMsgPanel::Body::kInquiries, 12);
    In(popup, L"LabelTitle")->SetText(L"changed");
    popup->Fill(PopupMsgPanel::Body::kInquiries, 13);
    EXPECT_EQ(L"changed", TextIn(popup, L"LabelTitle"));
    EXPECT_EQ(L" 13 ", TextIn(popup, L"MsgCountZudedo"));

    // The user has seen them (the subscribed page resets the count): the
    // pop-up goes out of sight and none is made.
    panel->Subscriptions()->StopPolling();
    panel->Subscriptions()->ResetNewInquiryTotal();
    ::PostMessageW(*panel, msg::kNewInquiries, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !Shown(Msg()); }));
    EXPECT_EQ(popup, Msg()) << "hidden, not closed";
}

TEST_F(PopupsTest, TheInquiryCountLeadsToTheSubscribedPage) {
    Open();
    ASSERT_TRUE(SignIn());
    // As the subscription service announces them.
    panel->Subscriptions()->StopPolling();
    panel->Popups().ShowMessagePopup(PopupMsgPanel::Body::kInquiries);
    ASSERT_TRUE(Shown(Msg()));
    ::ShowWindow(*panel, SW_HIDE);
    nav.pages.clear();
    ClickIn(Msg(), L"MsgCountZudedo");
    ASSERT_TRUE(PumpUntil([&] { return Msg() == nullptr; }));
    ASSERT_TRUE(PumpUntil([&] { return !nav.pages.empty(); }));
    EXPECT_NE(std::wstring::npos, nav.pages.back().find(L"/sq/my_sq_rss"));
    EXPECT_TRUE(::IsWindowVisible(*panel)) << "the main window stayed hidden";
    EXPECT_TRUE(Opened().empty());
}

TEST_F(PopupsTest, ThreeNoticesAreShownLastToFirstAndDismissedOneByOne) {
    Json::Value notices(Json::arrayValue);
    notices.append(Notice("通知一", "第一条", "短内容"));
    notices.append(Notice("通知二", "第二条", std::string(45, 'x'), "好的"));
    notices.append(Notice("通知三", "第三条", "请阅读<a http://127.0.0.1/rule>发布规则</a>", "知道了"));
    SetNotices(notices);
    Open();
    StartTyping();
    ASSERT_TRUE(SignIn());
    ::SetForegroundWindow(typing_);
    ::SetFocus(typing_);
    ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()); })) << "no notice pop-up";
    PumpFor(100);
    PopupNoticePanel* popup = NoticePopup();
    ExpectStillTyping("with the notice pop-up up");
    EXPECT_EQ(3u, popup->Queued());
    ExpectInCorner(popup, SIZE{271, 173});
    EXPECT_TRUE(Topmost(popup));
    wchar_t cls[64] = {}, title[64] = {};
    ::GetClassNameW(popup->GetHWND(), cls, 64);
    ::GetWindowTextW(popup->GetHWND(), title, 64);
    EXPECT_STREQ(L"zudedo_popup_notice_panel", cls);
    EXPECT_STREQ(L"重要通知", title);

    EXPECT_EQ(L"通知三", TextIn(popup, L"Title"));
    EXPECT_EQ(L"第三条", TextIn(popup, L"Caption"));
    EXPECT_EQ(L"知道了", TextIn(popup, L"More"));
    // Short despite its markup: on a line of its own.
    EXPECT_EQ(L"<n>请阅读<a http://127.0.0.1/rule>发布规则</a>", TextIn(popup, L"Content"));
    EXPECT_EQ(L"关闭", In(popup, L"BtnExit")->GetToolTip());

    ClickIn(popup, L"More");
    EXPECT_EQ(L"通知二", TextIn(popup, L"Title"));
    EXPECT_EQ(L"好的", TextIn(popup, L"More"));
    EXPECT_EQ(std::wstring(45, L'x'), TextIn(popup, L"Content")) << "a long content gets no line break";

    ClickIn(popup, L"BtnExit");
    EXPECT_EQ(L"通知一", TextIn(popup, L"Title"));
    EXPECT_EQ(L"第一条", TextIn(popup, L"Caption"));
    EXPECT_EQ(L"<n>短内容", TextIn(popup, L"Content"));
    EXPECT_EQ(L"我知道了", TextIn(popup, L"More"));
    EXPECT_EQ(1u, popup->Queued());
    ExpectStillTyping("after two dismissals");

    ClickIn(popup, L"More");
    ASSERT_TRUE(PumpUntil([&] { return NoticePopup() == nullptr; })) << "the last dismissal left the window";
    EXPECT_TRUE(Opened().empty());
    ExpectStillTyping("after the last dismissal");

    // An empty list later changes nothing; a new one makes a new window.
    SetNotices(Json::Value(Json::arrayValue));
    ::PostMessageW(*panel, msg::kRequestNotices, 0, 0);
    PumpFor(600);
    EXPECT_EQ(nullptr, NoticePopup());
    notices.resize(1);
    SetNotices(notices);
    ::PostMessageW(*panel, msg::kRequestNotices, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()); }));
    EXPECT_EQ(L"通知一", TextIn(NoticePopup(), L"Title"));
}

TEST_F(PopupsTest, ANoticeSetsTheMessagePopupAsideUntilItIsDismissed) {
    SetMessageCount(3);
    Open();
    StartTyping();
    ASSERT_TRUE(SignIn());
    ::SetForegroundWindow(typing_);
    ::SetFocus(typing_);
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }));

    // The notice pop-up comes over the message pop-up's corner.
    Json::Value notices(Json::arrayValue);
    notices.append(Notice("重要通知", "维护", "今晚十点维护"));
    SetNotices(notices);
    ::PostMessageW(*panel, msg::kRequestNotices, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()); }));
    EXPECT_FALSE(Shown(Msg())) << "the message pop-up stayed up";
    EXPECT_TRUE(panel->Popups().MessagePopupSetAside());
    PumpFor(600);  // more counts arrive meanwhile: refilled, kept aside
    EXPECT_FALSE(Shown(Msg()));
    ASSERT_NE(nullptr, Msg());

    ClickIn(NoticePopup(), L"More");
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); })) << "the message pop-up never came back";
    EXPECT_EQ(nullptr, NoticePopup());
    EXPECT_FALSE(panel->Popups().MessagePopupSetAside());
    EXPECT_TRUE(Topmost(Msg()));
    ExpectStillTyping("after the message pop-up came back");
}

TEST_F(PopupsTest, AMessageCountWhileANoticeShowsWaitsBehindIt) {
    Json::Value notices(Json::arrayValue);
    notices.append(Notice("重要通知", "维护", "今晚十点维护"));
    SetNotices(notices);
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()); }));
    EXPECT_EQ(nullptr, Msg());

    SetMessageCount(4);
    ASSERT_TRUE(PumpUntil([&] { return Msg() != nullptr; })) << "the count never came";
    PumpFor(200);
    EXPECT_FALSE(Shown(Msg()));
    EXPECT_TRUE(panel->Popups().MessagePopupSetAside());
    EXPECT_EQ(L" 4 ", TextIn(Msg(), L"MsgCountMsgCenter"));

    // Escape on the notice closes it like its buttons: the count shows.
    ::PostMessageW(NoticePopup()->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }));
    EXPECT_EQ(nullptr, NoticePopup());
    HWND shown = Msg()->GetHWND();
    EXPECT_TRUE(Topmost(Msg()));
    EXPECT_FALSE(Above(*panel, shown));
}

TEST_F(PopupsTest, NoticeLinksOpenOnlyWebAddresses) {
    Json::Value notices(Json::arrayValue);
    notices.append(Notice("重要通知", "<a file:///C:/windows/win.ini>查看文件</a>",
                          "<a C:\\windows\\notepad.exe>运行</a> <a>无地址</a> <a http://127.0.0.1/notice?id=7>详情</a> "
                          "<a \"http://x/\">引号</a>"));
    SetNotices(notices);
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(WaitForToken());
    ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()); }));
    PopupNoticePanel* popup = NoticePopup();
    auto* caption = dynamic_cast<ui::FormattedText*>(In(popup, L"Caption"));
    auto* content = dynamic_cast<ui::FormattedText*>(In(popup, L"Content"));
    ASSERT_NE(nullptr, caption);
    ASSERT_NE(nullptr, content);
    ASSERT_EQ(1, caption->GetLinkCount());
    ASSERT_EQ(4, content->GetLinkCount());

    // A file, a program, a link without target: nothing opens, the notice stays.
    caption->ActivateLink(0);
    content->ActivateLink(0);
    content->ActivateLink(1);
    PumpFor(150);
    EXPECT_TRUE(Opened().empty()) << shell::WideToUtf8(Opened().empty() ? L"" : Opened()[0]);
    ASSERT_EQ(popup, NoticePopup());
    EXPECT_EQ(1u, popup->Queued());

    // A web address goes through the single sign-on and dismisses the notice.
    content->ActivateLink(2);
    ASSERT_TRUE(PumpUntil([&] { return NoticePopup() == nullptr; }));
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(0u, Opened()[0].find(Service().WebOrigin() + L"/alogin?sign="));
}

TEST(NoticeRules, ShortContentsStartOnALineOfTheirOwn) {
    EXPECT_EQ(L"<n>", PopupNoticePanel::ContentText(L""));
    EXPECT_EQ(L"<n>短", PopupNoticePanel::ContentText(L"短"));
    const std::wstring forty(40, L'字');
    EXPECT_EQ(forty, PopupNoticePanel::ContentText(forty));
    EXPECT_EQ(L"<n>" + forty.substr(1), PopupNoticePanel::ContentText(forty.substr(1)));
    // The first tag (here 9 characters, "<a x>" counts 5 + 4) is allowed for.
    const std::wstring linked = L"<a x>" + std::wstring(39, L'字');
    EXPECT_EQ(L"<n>" + linked, PopupNoticePanel::ContentText(linked));
    const std::wstring longer = L"<a x>" + std::wstring(44, L'字');
    EXPECT_EQ(longer, PopupNoticePanel::ContentText(longer));
    // A "<" that opens no tag allows nothing.
    const std::wstring lone = L"a<b" + std::wstring(37, L'字');
    EXPECT_EQ(lone, PopupNoticePanel::ContentText(lone));
}

TEST(NoticeRules, OnlyWebAddressesAreLinks) {
    for (const wchar_t* good : {L"http://127.0.0.1/notice", L"HTTPS://www.example.com/a?b=1&c=%20", L"http://h"}) {
        EXPECT_TRUE(IsWebAddress(good)) << shell::WideToUtf8(good);
    }
    for (const wchar_t* bad :
         {L"", L"file:///C:/windows/win.ini", L"C:\\windows\\notepad.exe", L"notepad.exe", L"\\\\server\\share\\x.exe",
          L"javascript:alert(1)", L"mailto:a@b.c", L"http://", L"http:///etc", L"https:\\\\evil", L"ftp://h/x",
          L"http://h/a b", L"http://h/\"x", L"http://h/\tx", L" http://h/", L"httpx://h"}) {
        EXPECT_FALSE(IsWebAddress(bad)) << shell::WideToUtf8(bad);
    }
}

TEST_F(PopupsTest, DraggedByItsBodyWithoutTakingTheFocus) {
    SetMessageCount(1);
    Open(SlowAfterSeen());
    ASSERT_TRUE(SignIn());
    StartTyping();
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }));
    const HWND hwnd = Msg()->GetHWND();
    RECT before{};
    ::GetWindowRect(hwnd, &before);
    // A press on the title (a label in the caption area), a move, a release.
    ui::Control* title = In(Msg(), L"LabelTitle");
    Msg()->GetPaintManager().UpdateLayout();
    const RECT& rc = title->GetPos();
    const POINT at{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    ::PostMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x - 30, at.y - 20));
    ::PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x - 30, at.y - 20));
    PumpFor(150);
    RECT after{};
    ::GetWindowRect(hwnd, &after);
    EXPECT_EQ(before.left - 30, after.left);
    EXPECT_EQ(before.top - 20, after.top);
    ExpectStillTyping("after the drag");
    EXPECT_EQ(MA_NOACTIVATE, ::SendMessageW(hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(hwnd),
                                            MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)));
    // The close button is no grip.
    ui::Control* exit = In(Msg(), L"BtnExit");
    POINT onExit{(exit->GetPos().left + exit->GetPos().right) / 2, (exit->GetPos().top + exit->GetPos().bottom) / 2};
    ::ClientToScreen(hwnd, &onExit);
    EXPECT_EQ(HTCLIENT, ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(onExit.x, onExit.y)));
    // Later counts refill it where the user put it.
    panel->MessageCentre()->RequestNewMessageCount();
    PumpFor(500);
    RECT refilled{};
    ::GetWindowRect(hwnd, &refilled);
    EXPECT_EQ(after.left, refilled.left);
    EXPECT_EQ(after.top, refilled.top);
}

TEST_F(PopupsTest, SigningOutAndClosingTheWindowCloseThePopups) {
    SetMessageCount(3);
    Json::Value notices(Json::arrayValue);
    notices.append(Notice("重要通知", "维护", "今晚十点维护"));
    SetNotices(notices);
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()) && Msg() != nullptr; }));
    SetMessageCount(0);
    panel->Logout();
    ASSERT_TRUE(PumpUntil([&] { return Msg() == nullptr && NoticePopup() == nullptr; }));
    PumpFor(200);
    EXPECT_EQ(nullptr, ::FindWindowW(PopupMsgPanel::kClassName, nullptr)) << "the set-aside pop-up came back";
    EXPECT_EQ(nullptr, ::FindWindowW(PopupNoticePanel::kClassName, nullptr));

    // Signed in again, the pop-ups come again and go with the window.
    SetMessageCount(2);
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()) || Shown(NoticePopup()); }));
    ::PostMessageW(*panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    EXPECT_EQ(nullptr, ::FindWindowW(PopupMsgPanel::kClassName, nullptr));
    EXPECT_EQ(nullptr, ::FindWindowW(PopupNoticePanel::kClassName, nullptr));
}

TEST_F(PopupsTest, NothingIsReadFromServicesThatAreGone) {
    Open();
    ASSERT_TRUE(SignIn());
    // Announcements still queued when quitting deletes the services.
    ::PostMessageW(*panel, msg::kNewMessages, 0, 0);
    ::PostMessageW(*panel, msg::kNoticesReceived, 0, 0);
    ::PostMessageW(*panel, msg::kNewInquiries, 0, 0);
    panel->Quit();
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    EXPECT_EQ(nullptr, ::FindWindowW(PopupMsgPanel::kClassName, nullptr));
    EXPECT_EQ(nullptr, ::FindWindowW(PopupNoticePanel::kClassName, nullptr));
}

}  // namespace

namespace {

// A task bar of the test's own, found before any other: the pop-ups follow
// its edge.
class TaskBar {
public:
    explicit TaskBar(const RECT& rc) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        ::RegisterClassW(&wc);
        hwnd_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"Shell_TrayWnd", L"", WS_POPUP,
                                  rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    }
    ~TaskBar() {
        ::DestroyWindow(hwnd_);
        ::UnregisterClassW(L"Shell_TrayWnd", ::GetModuleHandleW(nullptr));
    }
    TaskBar(const TaskBar&) = delete;
    TaskBar& operator=(const TaskBar&) = delete;
    bool Found() const { return ::FindWindowW(L"Shell_TrayWnd", nullptr) == hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

TEST_F(PopupsTest, WithTheTaskBarAtTheTopOrLeftThePopupsStayInTheCornerNextToIt) {
    Open();
    ASSERT_TRUE(SignIn());
    panel->Subscriptions()->StopPolling();
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    const RECT screen = mi.rcMonitor;
    const RECT work = ui::FindTrayPlace().work;
    {
        TaskBar top(RECT{screen.left, screen.top, screen.right, screen.top + 30});
        ASSERT_TRUE(top.Found());
        panel->Popups().ShowMessagePopup(PopupMsgPanel::Body::kInquiries);
        ASSERT_TRUE(Shown(Msg()));
        RECT rc{};
        ::GetWindowRect(Msg()->GetHWND(), &rc);
        EXPECT_EQ(ui::FindTrayPlace().work.top + 2, rc.top);
        EXPECT_EQ(ui::FindTrayPlace().work.right - 8, rc.right);
        ::DestroyWindow(Msg()->GetHWND());
    }
    {
        TaskBar left(RECT{screen.left, screen.top, screen.left + 40, screen.bottom});
        ASSERT_TRUE(left.Found());
        Json::Value notices(Json::arrayValue);
        notices.append(Notice("重要通知", "维护", "今晚十点维护"));
        SetNotices(notices);
        ::PostMessageW(*panel, msg::kRequestNotices, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return Shown(NoticePopup()); }));
        RECT rc{};
        ::GetWindowRect(NoticePopup()->GetHWND(), &rc);
        EXPECT_EQ(ui::FindTrayPlace().work.left + 8, rc.left);
        EXPECT_EQ(ui::FindTrayPlace().work.bottom - 2, rc.bottom);
        RECT inside{};
        EXPECT_TRUE(::IntersectRect(&inside, &rc, &work) && ::EqualRect(&inside, &rc));
    }
}

}  // namespace

namespace {

TEST_F(PopupsTest, AtAnotherMonitorsDpiThePopupTakesItsSizeInTheCorner) {
    Open();
    ASSERT_TRUE(SignIn());
    panel->Subscriptions()->StopPolling();
    panel->Popups().ShowMessagePopup(PopupMsgPanel::Body::kMessages);
    ASSERT_TRUE(Shown(Msg()));
    const HWND hwnd = Msg()->GetHWND();
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    const UINT dpi = ui::DpiForWindow(hwnd);
    const UINT bigger = dpi * 3 / 2;
    // As the system moves it: the top-left kept, the size of the new DPI.
    RECT suggested{rc.left, rc.top, rc.left + ui::ScaleBy(257, bigger), rc.top + ui::ScaleBy(103, bigger)};
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(bigger, bigger), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    ::GetWindowRect(hwnd, &now);
    EXPECT_EQ(suggested.right - suggested.left, now.right - now.left);
    EXPECT_EQ(suggested.bottom - suggested.top, now.bottom - now.top);
    const RECT want = ui::CornerNextToTray(ui::FindTrayPlace(), SIZE{now.right - now.left, now.bottom - now.top},
                                           ui::ScaleBy(PopupWindow::kGapX, bigger),
                                           ui::ScaleBy(PopupWindow::kGapY, bigger));
    EXPECT_EQ(want.left, now.left);
    EXPECT_EQ(want.top, now.top);
}

}  // namespace

namespace {

TEST_F(PopupsTest, AScreenReaderHearsThePopupWhenItComesAndWhenItsCountChanges) {
    ui_test::WinEventRecorder alerts(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT);
    SetMessageCount(3);
    Open(SlowAfterSeen());
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([&] { return Shown(Msg()); }));
    const HWND hwnd = Msg()->GetHWND();
    auto alertsOf = [&] {
        size_t n = 0;
        for (const auto& e : alerts.Of(EVENT_SYSTEM_ALERT)) n += e.hwnd == hwnd ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(PumpUntil([&] { return alertsOf() >= 1; })) << "the pop-up came unannounced";
    // Polls every 300 ms with the same count: nothing new to read.
    const size_t polls = Received("get_new_msg_count");
    ASSERT_TRUE(PumpUntil([&] { return Received("get_new_msg_count") >= polls + 3; }));
    PumpFor(200);
    EXPECT_EQ(1u, alertsOf());
    SetMessageCount(4);
    ASSERT_TRUE(PumpUntil([&] { return TextIn(Msg(), L"MsgCountMsgCenter") == L" 4 "; }));
    EXPECT_TRUE(PumpUntil([&] { return alertsOf() == 2; })) << alertsOf();
}

}  // namespace
