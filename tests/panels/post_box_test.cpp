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
    ASSERT_TRUE(SignIn());
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
