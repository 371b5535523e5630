// The main window's layout as a screen reader finds it while nobody is
// signed in: every visible control has a name and a role, the names are
// the texts on the screen, and the login layer hides the post box it
// covers. Journeys of the real client find their controls this way.
#include <gtest/gtest.h>

#include "shell/com_ptr.h"
#include "tests/ui/accessible_reader.h"
#include "tests/ui/ui_test_support.h"
#include "ui/accessibility.h"
#include "ui/markup.h"

namespace {

using ui_test::AccChild;
using ui_test::FindChild;

class MainWindowAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<ui_test::TestWindow>(L"zudedo_main.xml");
        ASSERT_NE(window_->Open(), nullptr);
        ASSERT_TRUE(window_->LayoutError().empty()) << ui::Utf16ToUtf8(window_->LayoutError());
        object_ = ui::AccessibleOfWindow(window_->GetHWND());
        ASSERT_TRUE(object_);
    }
    std::vector<AccChild> Read() {
        std::vector<AccChild> all = ui_test::ReadChildren(object_.get());
        for (const AccChild& c : all) {
            EXPECT_FALSE(c.name.empty()) << "a nameless control\n" << ui_test::Dump(all);
            EXPECT_GT(c.role, 0) << ui_test::Dump(all);
            EXPECT_EQ(c.state & STATE_SYSTEM_INVISIBLE, 0) << ui::Utf16ToUtf8(c.name);
            EXPECT_FALSE(::IsRectEmpty(&c.location)) << ui::Utf16ToUtf8(c.name);
        }
        return all;
    }
    void ExpectThere(const std::vector<AccChild>& all, const wchar_t* name, LONG role) {
        EXPECT_NE(FindChild(all, name, role), nullptr)
            << ui::Utf16ToUtf8(name) << " (role " << role << ")\n" << ui_test::Dump(all);
    }

    std::unique_ptr<ui_test::TestWindow> window_;
    shell::ComPtr<IAccessible> object_;
};

TEST_F(MainWindowAccessTest, SignedOutEveryVisibleControlIsNamedByWhatItShows) {
    const std::vector<AccChild> all = Read();
    ExpectThere(all, L"云帆商务台", ROLE_SYSTEM_STATICTEXT);
    ExpectThere(all, L"隐藏操作区", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"最小化", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"关闭", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"我的主页", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"未登录用户", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"消息中心", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"发布规则", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"主菜单", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"发送", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"网页", ROLE_SYSTEM_PANE);  // the browser, with the window it hosts
    ExpectThere(all, L"发布或转发一条有效的QQ即时询价信息奖励1积分，发布违规信息每次扣除10积分。", ROLE_SYSTEM_TEXT);
    // The page options: a radio group of page tabs, the first one selected.
    const wchar_t* tabs[] = {L"询价首页", L"我的询价", L"我的订阅"};
    for (const wchar_t* tab : tabs) ExpectThere(all, tab, ROLE_SYSTEM_PAGETAB);
    ASSERT_NE(FindChild(all, L"询价首页", ROLE_SYSTEM_PAGETAB), nullptr);
    EXPECT_NE(FindChild(all, L"询价首页", ROLE_SYSTEM_PAGETAB)->state & STATE_SYSTEM_SELECTED, 0);
    EXPECT_EQ(FindChild(all, L"我的订阅", ROLE_SYSTEM_PAGETAB)->state & STATE_SYSTEM_SELECTED, 0);
    // The login layer is hidden until asked for.
    EXPECT_EQ(FindChild(all, L"登录", ROLE_SYSTEM_PUSHBUTTON), nullptr);
    EXPECT_EQ(FindChild(all, L"用户名", ROLE_SYSTEM_TEXT), nullptr);
}

TEST_F(MainWindowAccessTest, TheLoginLayerShowsItsControlsAndHidesThePostBoxUnderIt) {
    window_->Find(L"LoginLayer")->SetVisible(true);  // as ShowLoginLayer does
    const std::vector<AccChild> all = Read();
    ExpectThere(all, L"用户名", ROLE_SYSTEM_TEXT);
    ExpectThere(all, L"密码", ROLE_SYSTEM_TEXT);
    ExpectThere(all, L"登录", ROLE_SYSTEM_PUSHBUTTON);
    ExpectThere(all, L"自动登录", ROLE_SYSTEM_CHECKBUTTON);
    ExpectThere(all, L"记住密码", ROLE_SYSTEM_CHECKBUTTON);
    ExpectThere(all, L"注册>>", ROLE_SYSTEM_LINK);
    ExpectThere(all, L"找回密码", ROLE_SYSTEM_LINK);
    ExpectThere(all, L"关闭登录层", ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(FindChild(all, L"请输入星程账号", ROLE_SYSTEM_STATICTEXT), nullptr);  // the box's hint
    EXPECT_EQ(FindChild(all, L"用户名", ROLE_SYSTEM_TEXT)->description, L"请输入星程账号");
    EXPECT_EQ(FindChild(all, L"发送", ROLE_SYSTEM_PUSHBUTTON), nullptr);  // covered by the layer
    EXPECT_EQ(FindChild(all, L"140", ROLE_SYSTEM_STATICTEXT), nullptr);

    // Signing in: the loading strip covers the login controls.
    window_->Find(L"LayoutLoginLoading")->SetVisible(true);
    const std::vector<AccChild> loading = Read();
    ExpectThere(loading, L"登录中...", ROLE_SYSTEM_STATICTEXT);
    EXPECT_EQ(FindChild(loading, L"登录", ROLE_SYSTEM_PUSHBUTTON), nullptr);
    ExpectThere(loading, L"关闭登录层", ROLE_SYSTEM_PUSHBUTTON);
}

}  // namespace
