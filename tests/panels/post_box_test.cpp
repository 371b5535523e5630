// The post box and the pages of the main window: the word counter, what a
// post needs before it goes out, the texts and page of a post result, the
// page options while signed out and in, and the edit menu's commands.
#include "tests/panels/main_panel_fixture.h"

#include <string>

#include "shell/messages.h"
#include "shell/text.h"

using testing_support::MainPanelTest;

namespace {

const wchar_t kListHome[] = L"/rovavoda.php/rovavoda/sq";

class PostBoxTest : public MainPanelTest {
protected:
    ui::Option* Option(const wchar_t* name) { return dynamic_cast<ui::Option*>(Control(name)); }
    void Select(const wchar_t* name) {
        ui::Option* option = Option(name);
        ASSERT_NE(nullptr, option) << shell::WideToUtf8(name);
        option->Selected(true, true);
        PumpFor(30);
    }
    // The add_sq documents the stand-in received.
    Json::Value Posts() { return standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq"); }
    bool WaitForPosts(Json::ArrayIndex n) {
        return PumpUntil([&] { return Posts().size() >= n; }, 4000);
    }
    bool RowShown() { return Control(L"LayoutPostOption")->IsVisible(); }
    // A click into the box, which opens the option row.
    bool ClickIntoTheBox() {
        ClickThrough(L"PostEdit");
        return PumpUntil([&] { return RowShown() && Focused() == Control(L"PostEdit"); }, 2000);
    }
    bool CounterShows(int rest) {
        return PumpUntil([&] { return Control(L"RestWordCount")->GetText() == std::to_wstring(rest); }, 2000);
    }
};

TEST_F(PostBoxTest, TheCounterAndTheLimitOf140Characters) {
    Open();
    ASSERT_TRUE(SignIn());
    Select(L"OpDijie");
    Type(L"PostEdit", std::wstring(141, L'询'));
    ASSERT_TRUE(PumpUntil([&] { return Control(L"RestWordCount")->GetText() == L"-1"; }));
    auto* counter = dynamic_cast<ui::Label*>(Control(L"RestWordCount"));
    ASSERT_NE(nullptr, counter);
    EXPECT_EQ(0xFFFF0000u, counter->GetTextColor());
    EXPECT_FALSE(Control(L"PostNotice")->IsVisible());
    Click(L"BtnPost");
    ASSERT_TRUE(WaitForTip(L"请勿超过140字"));
    EXPECT_EQ(0, panel->LastTip().type);
    EXPECT_EQ(0xFFFE7819u, panel->LastTip().colour);

    const std::wstring full(140, L'询');
    Type(L"PostEdit", full);
    ASSERT_TRUE(PumpUntil([&] { return Control(L"RestWordCount")->GetText() == L"0"; }));
    EXPECT_EQ(0xFFE5E5E5u, counter->GetTextColor());
    Click(L"BtnPost");
    ASSERT_TRUE(WaitForPosts(1));
    EXPECT_EQ(1u, Posts().size());  // the refused one never went out
    EXPECT_EQ(shell::WideToUtf8(full), Posts()[0]["document"]["content"].asString());
    EXPECT_EQ("1", Posts()[0]["document"]["param"].asString());
}

// Every post type is chosen with the mouse in the option row that the box
// opens, and the post goes out with it and with the text typed before.
TEST_F(PostBoxTest, EachPostTypeIsChosenByClickAndSent) {
    Open();
    ASSERT_TRUE(SignIn());
    struct Case {
        const wchar_t* option;
        const char* type;
        const char* category;
    };
    const Case cases[] = {{L"OpDijie", "0", "1"},  {L"OpZutuan", "0", "2"}, {L"OpFang", "0", "3"},
                          {L"OpChe", "0", "4"},    {L"OpPiaowu", "0", "5"}, {L"OpQita", "0", "0"},
                          {L"OpTuiguang", "1", "-1"}};
    Json::ArrayIndex sent = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(shell::WideToUtf8(c.option));
        ASSERT_TRUE(ClickIntoTheBox());
        const std::wstring text = std::wstring(L"求报价：") + Control(c.option)->GetText();
        TypeKeys(text);
        ASSERT_TRUE(CounterShows(140 - static_cast<int>(text.size())));
        ClickThrough(c.option);
        EXPECT_TRUE(Option(c.option)->IsSelected());
        EXPECT_TRUE(RowShown());
        EXPECT_EQ(text, Control(L"PostEdit")->GetText());
        ClickThrough(L"BtnPost");
        ASSERT_TRUE(WaitForPosts(++sent));
        const Json::Value doc = Posts()[sent - 1]["document"];
        EXPECT_EQ(shell::WideToUtf8(text), doc["content"].asString());
        EXPECT_EQ(c.type, doc["type"].asString());
        EXPECT_EQ(c.category, doc["param"].asString());
        // The success empties the box and the focus leaves it.
        ASSERT_TRUE(PumpUntil([&] { return Control(L"PostEdit")->GetText().empty() && !RowShown(); }));
    }
    EXPECT_EQ(sent, Posts().size());
}

// Tab walks from the box over the send button into the row; the arrows move
// within a group and choose, Space chooses; the box keeps its text.
TEST_F(PostBoxTest, TheOptionRowWorksFromTheKeyboard) {
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(ClickIntoTheBox());
    const std::wstring text = L"求三亚地接报价";
    for (size_t i = 0; i < text.size(); ++i) {
        TypeKeys(text.substr(i, 1));
        ASSERT_TRUE(CounterShows(140 - static_cast<int>(i + 1)));
    }
    PressKey(VK_TAB);
    EXPECT_EQ(Control(L"BtnPost"), Focused());
    PressKey(VK_TAB);
    EXPECT_EQ(Control(L"OpZudedo"), Focused());
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_EQ(Control(L"OpDijie"), Focused());
    EXPECT_TRUE(RowShown());
    EXPECT_FALSE(Option(L"OpDijie")->IsSelected());
    PressKey(VK_SPACE);
    EXPECT_TRUE(Option(L"OpDijie")->IsSelected());
    PressKey(VK_RIGHT);
    PressKey(VK_RIGHT);
    EXPECT_EQ(Control(L"OpFang"), Focused());
    EXPECT_TRUE(Option(L"OpFang")->IsSelected());
    EXPECT_FALSE(Option(L"OpDijie")->IsSelected());
    PressKey(VK_LEFT);
    EXPECT_EQ(Control(L"OpZutuan"), Focused());
    EXPECT_TRUE(Option(L"OpZutuan")->IsSelected());
    // The arrows stay within the type pair: the first one's left is the last.
    Option(L"OpZudedo")->SetFocus();
    PressKey(VK_LEFT);
    EXPECT_EQ(Control(L"OpTuiguang"), Focused());
    EXPECT_TRUE(Option(L"OpTuiguang")->IsSelected());
    PressKey(VK_RIGHT);
    EXPECT_TRUE(Option(L"OpZudedo")->IsSelected());
    EXPECT_TRUE(RowShown());
    EXPECT_EQ(text, Control(L"PostEdit")->GetText());
    EXPECT_EQ(std::to_wstring(140 - static_cast<int>(text.size())), Control(L"RestWordCount")->GetText());

    ClickThrough(L"BtnPost");
    ASSERT_TRUE(WaitForPosts(1));
    EXPECT_EQ(shell::WideToUtf8(text), Posts()[0]["document"]["content"].asString());
    EXPECT_EQ("0", Posts()[0]["document"]["type"].asString());
    EXPECT_EQ("2", Posts()[0]["document"]["param"].asString());
}

// The row goes away only when the focus leaves the box, the row and the
// send button: a press on the browser area, on the title, or in the page.
TEST_F(PostBoxTest, TheRowClosesWhenTheFocusLeavesThePostingArea) {
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(ClickIntoTheBox());
    TypeKeys(L"求北京地接");
    ClickThrough(L"OpFang");
    ASSERT_TRUE(RowShown());
    ClickThrough(L"browser");
    EXPECT_TRUE(PumpUntil([&] { return !RowShown(); }, 2000));
    EXPECT_EQ(L"求北京地接", Control(L"PostEdit")->GetText());
    EXPECT_TRUE(Option(L"OpFang")->IsSelected());

    // From the box and from the row, a press on the title.
    ASSERT_TRUE(ClickIntoTheBox());
    CaptionPress(L"LabelTitle");
    EXPECT_TRUE(PumpUntil([&] { return !RowShown(); }, 2000));
    ASSERT_TRUE(ClickIntoTheBox());
    ClickThrough(L"OpTuiguang");
    ASSERT_TRUE(RowShown());
    CaptionPress(L"LabelTitle");
    EXPECT_TRUE(PumpUntil([&] { return !RowShown(); }, 2000));
    // A press on a label of the row keeps the row and gives the keys back to
    // the box; one on the window's own plain area, the bottom strip, does not.
    ASSERT_TRUE(ClickIntoTheBox());
    ClickThrough(L"LabelPostAdNotice");
    ASSERT_TRUE(PumpUntil([&] { return Focused() == Control(L"PostEdit"); }, 2000));
    ASSERT_TRUE(RowShown());
    ClickThrough(L"BottomLabel");
    EXPECT_TRUE(PumpUntil([&] { return !RowShown(); }, 2000));
    EXPECT_NE(Control(L"PostEdit"), Focused());

    // A click inside the page reports itself; the browser takes the focus.
    ASSERT_TRUE(ClickIntoTheBox());
    ClickThrough(L"BtnPost");  // the send button is part of the area
    ASSERT_TRUE(WaitForPosts(1));
    ASSERT_TRUE(ClickIntoTheBox());
    ClickThrough(L"OpZudedo");
    ASSERT_TRUE(RowShown());
    ::PostMessageW(*panel, msg::kPageOtherClick, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !RowShown(); }, 2000));
    EXPECT_EQ(Control(L"browser"), Focused());
}

// A page the window reopens by itself leaves a post being written alone.
TEST_F(PostBoxTest, APageReopenedMeanwhileLeavesThePostBoxAlone) {
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(ClickIntoTheBox());
    TypeKeys(L"求三亚");
    ClickThrough(L"OpChe");
    ASSERT_EQ(Control(L"OpChe"), Focused());
    const size_t pages = nav.pages.size();
    ::PostMessageW(*panel, msg::kWebLoginDone, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return nav.pages.size() > pages; }));
    EXPECT_EQ(MainPanel::ServicePage(kListHome), nav.pages.back());
    EXPECT_EQ(Control(L"OpChe"), Focused());
    EXPECT_TRUE(RowShown());
    ASSERT_TRUE(ClickIntoTheBox());
    ::PostMessageW(*panel, msg::kWebLoginDone, 0, 0);
    PumpFor(100);
    EXPECT_EQ(Control(L"PostEdit"), Focused());
    ::SendMessageW(KeyTarget(), EM_SETSEL, static_cast<WPARAM>(-1), -1);
    TypeKeys(L"地接");
    EXPECT_EQ(L"求三亚地接", Control(L"PostEdit")->GetText());
    EXPECT_TRUE(RowShown());
}

// Without the posting rules accepted a press on the send button sends
// nothing and shows the rules (one window, which the box's focus opened
// already); the draft waits in the box.
TEST_F(PostBoxTest, ASendBeforeTheRulesAreAcceptedShowsTheRules) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    ASSERT_FALSE(Settings().postedFlag);
    ASSERT_TRUE(ClickIntoTheBox());
    TypeKeys(L"求北京地接报价");
    ClickThrough(L"OpDijie");
    ClickThrough(L"BtnPost");
    auto rulesWindows = [] {
        int n = 0;
        for (HWND w = ::FindWindowW(L"zudedo_post_rule_panel", nullptr); w != nullptr;
             w = ::FindWindowExW(nullptr, w, L"zudedo_post_rule_panel", nullptr)) {
            if (::IsWindowVisible(w)) ++n;
        }
        return n;
    };
    ASSERT_TRUE(PumpUntil([&] { return rulesWindows() > 0; }, 2000));
    EXPECT_EQ(1, rulesWindows());
    EXPECT_NE(L"请先阅读并同意发布规则后再发布", panel->LastTip().text);
    PumpFor(300);
    EXPECT_EQ(0u, Posts().size());
    EXPECT_EQ(L"求北京地接报价", Control(L"PostEdit")->GetText());
    EXPECT_FALSE(Settings().postedFlag);
}

// Signed out with a draft in the box: the login form takes the mouse and
// the keys, and the draft is back after signing in again.
TEST_F(PostBoxTest, ADraftStaysOutOfTheWayOfTheLoginForm) {
    Open();
    ASSERT_TRUE(SignIn());
    const std::wstring draft = L"草稿：求三亚地接";
    ASSERT_TRUE(ClickIntoTheBox());
    TypeKeys(draft);
    ASSERT_TRUE(RowShown());
    ui::Notification n;
    n.type = L"menu_log_action";
    n.sender = panel->GetPaintManager().GetRoot();
    panel->Notify(n);
    ASSERT_TRUE(Control(L"LoginLayer")->IsVisible());
    PumpFor(200);  // the layer's own click into the name box
    const HWND box = Control(L"PostEdit")->NativeHandle();
    ASSERT_NE(nullptr, box);
    EXPECT_FALSE(::IsWindowVisible(box));
    EXPECT_NE(box, ::GetFocus());
    EXPECT_EQ(Control(L"EditUsername"), Focused());
    EXPECT_FALSE(RowShown());
    // A page asking for the post box does not bring it back.
    ::PostMessageW(*panel, msg::kPagePostNew, 0, 0);
    PumpFor(100);
    EXPECT_FALSE(::IsWindowVisible(box));
    EXPECT_NE(Control(L"PostEdit"), Focused());

    ClickThrough(L"EditUsername");
    ASSERT_EQ(Control(L"EditUsername"), Focused());
    ::SendMessageW(KeyTarget(), EM_SETSEL, 0, -1);
    TypeKeys(L"demo");
    ClickThrough(L"EditPassword");
    ASSERT_EQ(Control(L"EditPassword"), Focused());
    ::SendMessageW(KeyTarget(), EM_SETSEL, 0, -1);
    TypeKeys(L"demo123");
    ClickThrough(L"BtnLogin");
    ASSERT_TRUE(PumpUntil([] { return Settings().signedIn; }));
    EXPECT_EQ(L"demo", Control(L"EditUsername")->GetText());
    EXPECT_EQ(draft, Control(L"PostEdit")->GetText());
    EXPECT_TRUE(::IsWindowVisible(box));
    EXPECT_EQ(0u, Posts().size());
}

TEST_F(PostBoxTest, AnInquiryNeedsACategoryAPromotionDoesNot) {
    Open();
    ASSERT_TRUE(SignIn());
    // The options show while the box has the focus; the category pads are
    // for inquiries only.
    Control(L"PostEdit")->SetFocus();
    PumpFor(30);
    ASSERT_TRUE(Control(L"LayoutPostOption")->IsVisible());
    EXPECT_TRUE(Control(L"PostOptionPad")->IsVisible());
    EXPECT_FALSE(Control(L"PostAdPad")->IsVisible());
    Select(L"OpTuiguang");
    EXPECT_FALSE(Control(L"PostOptionPad")->IsVisible());
    EXPECT_TRUE(Control(L"PostAdPad")->IsVisible());
    Select(L"OpZudedo");
    EXPECT_TRUE(Control(L"PostOptionPad")->IsVisible());

    Type(L"PostEdit", L"求北京到三亚往返机票两张");
    Click(L"BtnPost");
    ASSERT_TRUE(WaitForTip(L"请选择消息类型后再发布"));
    PumpFor(200);
    EXPECT_EQ(0u, Posts().size());

    Select(L"OpTuiguang");
    Click(L"BtnPost");
    ASSERT_TRUE(WaitForPosts(1));
    EXPECT_EQ("1", Posts()[0]["document"]["type"].asString());
    EXPECT_EQ("-1", Posts()[0]["document"]["param"].asString());
    ASSERT_TRUE(WaitForTip(L"发布成功!"));
}

TEST_F(PostBoxTest, ASuccessEmptiesTheBoxAndReopensListHomeForItsType) {
    Open();
    ASSERT_TRUE(SignIn());
    Select(L"OpQita");
    Type(L"PostEdit", L"__code:37");
    Click(L"BtnPost");
    ASSERT_TRUE(WaitForTip(L"发布成功,获得系统奖励1积分！<n>您累计已获得 37 积分"));
    EXPECT_EQ("0", Posts()[0]["document"]["param"].asString());
    EXPECT_EQ(L"", Control(L"PostEdit")->GetText());
    EXPECT_TRUE(Control(L"PostNotice")->IsVisible());
    ASSERT_FALSE(nav.pages.empty());
    EXPECT_EQ(MainPanel::ServicePage(kListHome) + L"?sq_type=1", nav.pages.back());
}

TEST_F(PostBoxTest, ARefusalKeepsTheBoxAsItWas) {
    Open();
    const size_t signedOut = nav.pages.size();
    ASSERT_TRUE(SignIn());
    // The web site login reopens the page when it ends: wait for that, so
    // that a page opened later could only be the post's doing.
    ASSERT_TRUE(PumpUntil([&] { return nav.pages.size() > signedOut; }));
    Select(L"OpChe");
    Type(L"PostEdit", L"__code:-6");
    const size_t pages = nav.pages.size();
    Click(L"BtnPost");
    ASSERT_TRUE(WaitForTip(L"您好，您今天发布的询价信息已达100条上限，请明天再发"));
    EXPECT_EQ(L"__code:-6", Control(L"PostEdit")->GetText());
    EXPECT_EQ(pages, nav.pages.size());
}

TEST_F(PostBoxTest, PersonalPagesAskForASignIn) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    const size_t pages = nav.pages.size();
    Select(L"OpMyRequire");
    ASSERT_TRUE(WaitForTip(L"请登录后再查看您发布的询价"));
    EXPECT_TRUE(Option(L"OpMyRequire")->IsSelected());
    EXPECT_TRUE(Control(L"LoginLayer")->IsVisible());
    EXPECT_EQ(pages, nav.pages.size());

    // Signed in, the option chosen before opens its page, and only that.
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([&] {
        return !nav.pages.empty() && nav.pages.back() == MainPanel::ServicePage(L"/rovavoda.php/rovavoda/sq/mysq");
    }));
    EXPECT_FALSE(Control(L"MultiLayerContainer")->IsVisible());
}

TEST_F(PostBoxTest, SwitchingPagesOpensOnlyTheChosenOne) {
    Open();
    ASSERT_TRUE(SignIn());
    const std::wstring mine = MainPanel::ServicePage(L"/rovavoda.php/rovavoda/sq/mysq");
    const std::wstring subscribed = MainPanel::ServicePage(L"/rovavoda.php/rovavoda/sq/my_sq_rss");
    const std::wstring home = MainPanel::ServicePage(kListHome);
    for (const std::wstring* page : {&mine, &subscribed, &home, &subscribed}) {
        const size_t before = nav.pages.size();
        Select(page == &mine ? L"OpMyRequire" : page == &subscribed ? L"OpSubscribeListPage" : L"OpAllListPage");
        ASSERT_EQ(before + 1, nav.pages.size()) << shell::WideToUtf8(*page);
        EXPECT_EQ(*page, nav.pages.back());
        EXPECT_EQ(page == &home, Control(L"MultiLayerContainer")->IsVisible());
    }
}

TEST_F(PostBoxTest, TheEditMenuCommandsReachThePostBox) {
    Open();
    ASSERT_TRUE(SignIn());
    Type(L"PostEdit", L"找地接");
    auto* edit = dynamic_cast<ui::RichEdit*>(Control(L"PostEdit"));
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(L"", edit->GetSelText());
    // Menu items come from the menu's owner, here the root control.
    ui::Notification n;
    n.type = L"menu_select_all";
    n.sender = panel->GetPaintManager().GetRoot();
    panel->Notify(n);
    EXPECT_EQ(L"找地接", edit->GetSelText());
    // A control's name for a menu item's type is still the item.
    n.sender = Control(L"BtnMenu");
    n.type = L"menu_cut";
    panel->Notify(n);
    EXPECT_EQ(L"", edit->GetText());
}

}  // namespace
