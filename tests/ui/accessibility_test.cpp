// What a screen reader finds in a skinned window: the tree read back through
// AccessibleObjectFromWindow (names, roles, states, places, only visible
// controls), the default action reaching Notify as a click, the focus and
// state events, the named native boxes, and an object whose window is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "shell/com_ptr.h"
#include "tests/ui/accessible_reader.h"
#include "tests/ui/ui_test_support.h"
#include "ui/accessibility.h"
#include "ui/controls.h"
#include "ui/native_controls.h"

namespace {

using ui_test::AccChild;
using ui_test::ChildId;
using ui_test::ClickControl;
using ui_test::FindChild;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::TestWindow;

const wchar_t kEveryKind[] =
    L"<Window size='380,260'>"
    L"<Font name='微软雅黑' size='12' default='true'/>"
    L"<VerticalLayout bkcolor='#FFFFFFFF'>"
    L"  <HorizontalLayout height='30'>"
    L"    <Label name='LabelTitle' text='云帆商务台' width='100'/>"
    L"    <Control name='Logo' width='20' bkimage='main_logo.png' tooltip='标志'/>"
    L"    <Control name='Decoration' width='20' bkimage='main_logo.png'/>"
    L"    <Control/>"
    L"    <Button name='BtnMin' width='30' tooltip='最小化'/>"
    L"    <Button name='BtnExit' width='30' text='X' shortcut='x' tooltip='关闭'/>"
    L"  </HorizontalLayout>"
    L"  <HorizontalLayout height='30'>"
    L"    <Container width='120'>"
    L"      <Edit name='EditUsername' accname='用户名'/>"
    L"      <Label name='InputUsernameNotice' text='请输入星程账号' mouse='false'/>"
    L"    </Container>"
    L"    <Edit name='EditPassword' width='100' password='true' accname='密码'/>"
    L"    <Button name='BtnLogin' text='登 录' width='60'/>"
    L"  </HorizontalLayout>"
    L"  <HorizontalLayout height='24'>"
    L"    <Option name='OpAllListPage' group='pageGroup' accrole='pagetab' text='询价首页' width='70' selected='true'/>"
    L"    <Option name='OpMyRequire' group='pageGroup' accrole='pagetab' text='我的询价' width='70'/>"
    L"    <Option name='OptionSavePSW' text='记住密码' width='80'/>"
    L"    <Option name='OpFang' group='PostTypePad' text='找房' width='50'/>"
    L"    <Button name='BtnDisabled' text='停用' width='40' enabled='false'/>"
    L"    <Button name='BtnHidden' text='藏' width='40' visible='false'/>"
    L"  </HorizontalLayout>"
    L"  <FormattedText name='Links' height='24' text='请 &lt;a first&gt;注册&lt;/a&gt; 或 &lt;a&gt;找回密码&lt;/a&gt;'/>"
    L"  <Button name='LinkSignUp' accrole='link' text='注册&gt;&gt;' height='20'/>"
    L"  <Container height='50'>"
    L"    <RichEdit name='PostEdit'/>"
    L"    <Label name='PostNotice' mouse='false' text='发布或转发一条有效的询价'/>"
    L"    <Label name='RestWordCount' mouse='false' text='140' align='right'/>"
    L"  </Container>"
    L"  <VerticalLayout name='HiddenLayer' visible='false'><Button name='BtnInHidden' text='看不见'/></VerticalLayout>"
    L"  <Control/>"
    L"</VerticalLayout></Window>";

TEST(AccessibilityLoad, OleaccLoadsOnTheFirstQuestionNotAtStart) {
    if (::GetModuleHandleW(L"oleacc.dll") != nullptr) GTEST_SKIP() << "loaded by an earlier test of this process";
    TestWindow window(kEveryKind);
    const HWND hwnd = window.Open();
    ASSERT_NE(hwnd, nullptr);
    ClickControl(window.Find(L"BtnLogin"));  // a focus event goes out without it
    ClickControl(window.Find(L"OptionSavePSW"));
    PumpFor(100);
    EXPECT_EQ(::GetModuleHandleW(L"oleacc.dll"), nullptr);
    EXPECT_TRUE(ui::AccessibleOfWindow(hwnd));
    EXPECT_NE(::GetModuleHandleW(L"oleacc.dll"), nullptr);
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(kEveryKind);
        hwnd_ = window_->Open();
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(window_->LayoutError().empty());
        window_->GetPaintManager().UpdateLayout();
        object_ = ui::AccessibleOfWindow(hwnd_);
        ASSERT_TRUE(object_) << "no accessibility object for the window";
        window_->received.clear();
    }
    std::vector<AccChild> Children() { return ui_test::ReadChildren(object_.get()); }
    RECT ScreenRectOf(const wchar_t* name) {
        RECT rc = window_->Find(name)->GetPos();
        ::MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
    shell::ComPtr<IAccessible> object_;
};

TEST_F(AccessibilityTest, TheClientListsEveryVisibleControlWithNameRoleStateAndPlace) {
    const std::vector<AccChild> all = Children();
    struct Want {
        const wchar_t* name;
        LONG role;
    };
    // In layout order; hidden controls, layouts, spacers, the nameless
    // picture and the hint over the name box are not there.
    const Want want[] = {
        {L"云帆商务台", ROLE_SYSTEM_STATICTEXT},
        {L"标志", ROLE_SYSTEM_GRAPHIC},
        {L"最小化", ROLE_SYSTEM_PUSHBUTTON},
        {L"X", ROLE_SYSTEM_PUSHBUTTON},
        {L"用户名", ROLE_SYSTEM_TEXT},
        {L"密码", ROLE_SYSTEM_TEXT},
        {L"登录", ROLE_SYSTEM_PUSHBUTTON},
        {L"询价首页", ROLE_SYSTEM_PAGETAB},
        {L"我的询价", ROLE_SYSTEM_PAGETAB},
        {L"记住密码", ROLE_SYSTEM_CHECKBUTTON},
        {L"找房", ROLE_SYSTEM_RADIOBUTTON},
        {L"停用", ROLE_SYSTEM_PUSHBUTTON},
        {L"请注册或找回密码", ROLE_SYSTEM_STATICTEXT},  // no spacing between Chinese words
        {L"注册", ROLE_SYSTEM_LINK},
        {L"找回密码", ROLE_SYSTEM_LINK},
        {L"注册>>", ROLE_SYSTEM_LINK},
        {L"发布或转发一条有效的询价", ROLE_SYSTEM_TEXT},
        {L"140", ROLE_SYSTEM_STATICTEXT},
    };
    ASSERT_EQ(all.size(), std::size(want)) << ui_test::Dump(all);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].name, want[i].name) << "child " << i + 1 << "\n" << ui_test::Dump(all);
        EXPECT_EQ(all[i].role, want[i].role) << "child " << i + 1 << "\n" << ui_test::Dump(all);
        EXPECT_EQ(all[i].state & STATE_SYSTEM_INVISIBLE, 0) << i + 1;
    }

    // Places are the controls' rectangles on the screen.
    const AccChild* login = FindChild(all, L"登录", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(login, nullptr);
    const RECT loginRect = ScreenRectOf(L"BtnLogin");
    EXPECT_TRUE(::EqualRect(&login->location, &loginRect));
    const AccChild* user = FindChild(all, L"用户名", ROLE_SYSTEM_TEXT);
    const RECT userRect = ScreenRectOf(L"EditUsername");
    EXPECT_TRUE(::EqualRect(&user->location, &userRect));
    const AccChild* link = FindChild(all, L"找回密码", ROLE_SYSTEM_LINK);
    RECT linkRect = static_cast<ui::FormattedText*>(window_->Find(L"Links"))->GetLinkRect(1);
    ::MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&linkRect), 2);
    EXPECT_TRUE(::EqualRect(&link->location, &linkRect));

    // States.
    EXPECT_EQ(login->state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE), STATE_SYSTEM_FOCUSABLE);
    EXPECT_EQ(login->action, L"click");
    const AccChild* off = FindChild(all, L"停用", ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(off->state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE), STATE_SYSTEM_UNAVAILABLE);
    EXPECT_NE(FindChild(all, L"询价首页", ROLE_SYSTEM_PAGETAB)->state & STATE_SYSTEM_SELECTED, 0);
    EXPECT_EQ(FindChild(all, L"我的询价", ROLE_SYSTEM_PAGETAB)->state & STATE_SYSTEM_SELECTED, 0);
    EXPECT_EQ(FindChild(all, L"记住密码", ROLE_SYSTEM_CHECKBUTTON)->state & STATE_SYSTEM_CHECKED, 0);
    EXPECT_NE(FindChild(all, L"密码", ROLE_SYSTEM_TEXT)->state & STATE_SYSTEM_PROTECTED, 0);
    EXPECT_NE(link->state & STATE_SYSTEM_LINKED, 0);
    // A name from the text keeps the tool tip as description; a box keeps its hint.
    EXPECT_EQ(FindChild(all, L"X", ROLE_SYSTEM_PUSHBUTTON)->description, L"关闭");
    EXPECT_EQ(user->description, L"请输入星程账号");
    EXPECT_TRUE(user->action.empty());
    shell::UniqueBstr shortcut;
    BSTR raw = nullptr;
    EXPECT_EQ(object_->get_accKeyboardShortcut(ChildId(4), &raw), S_OK);
    shortcut.reset(raw);
    EXPECT_STREQ(shortcut.get(), L"Alt+X");

    // The client itself keeps the window's title and role.
    const AccChild self = ui_test::ReadChild(object_.get(), CHILDID_SELF);
    EXPECT_EQ(self.role, ROLE_SYSTEM_CLIENT);
    EXPECT_EQ(self.name, L"ui test");

    // A control shown later is counted then; one hidden goes.
    window_->Find(L"HiddenLayer")->SetVisible(true);
    window_->Find(L"BtnMin")->SetVisible(false);
    window_->GetPaintManager().UpdateLayout();
    const std::vector<AccChild> after = Children();
    EXPECT_EQ(after.size(), all.size());
    EXPECT_NE(FindChild(after, L"看不见", ROLE_SYSTEM_PUSHBUTTON), nullptr);
    EXPECT_EQ(FindChild(after, L"最小化", ROLE_SYSTEM_PUSHBUTTON), nullptr);
    // Ids past the end are refused.
    shell::UniqueVariant role;
    EXPECT_EQ(object_->get_accRole(ChildId(static_cast<LONG>(after.size()) + 1), role.put()), E_INVALIDARG);
}

TEST_F(AccessibilityTest, TheDefaultActionIsAClickThatReachesNotify) {
    const std::vector<AccChild> all = Children();
    const AccChild* login = FindChild(all, L"登录", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(login->id)), S_OK);
    // After the call has returned, in the window's own message handling.
    EXPECT_EQ(window_->Count(L"click", L"BtnLogin"), 0u);
    EXPECT_TRUE(PumpUntil([&] { return window_->Count(L"click", L"BtnLogin") == 1; }, 2000));
    EXPECT_TRUE(window_->Find(L"BtnLogin")->IsFocused());  // as a press gives it

    const AccChild* keep = FindChild(all, L"记住密码", ROLE_SYSTEM_CHECKBUTTON);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(keep->id)), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return window_->Count(L"selectchanged", L"OptionSavePSW") == 1; }, 2000));
    EXPECT_EQ(window_->Count(L"click", L"OptionSavePSW"), 1u);
    EXPECT_NE(ui_test::ReadChild(object_.get(), keep->id).state & STATE_SYSTEM_CHECKED, 0);

    const AccChild* tab = FindChild(all, L"我的询价", ROLE_SYSTEM_PAGETAB);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(tab->id)), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return window_->Count(L"selectchanged", L"OpMyRequire") == 1; }, 2000));
    EXPECT_NE(ui_test::ReadChild(object_.get(), tab->id).state & STATE_SYSTEM_SELECTED, 0);

    const AccChild* link = FindChild(all, L"找回密码", ROLE_SYSTEM_LINK);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(link->id)), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return window_->Of(L"link").size() == 1; }, 2000));
    EXPECT_EQ(window_->Of(L"link")[0].wParam, 1u);
    EXPECT_EQ(window_->Of(L"link")[0].sender, L"Links");

    // Nothing to do for a disabled button, a box or the client itself.
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(FindChild(all, L"停用", ROLE_SYSTEM_PUSHBUTTON)->id)),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(FindChild(all, L"用户名", ROLE_SYSTEM_TEXT)->id)),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(CHILDID_SELF)), DISP_E_MEMBERNOTFOUND);
    PumpFor(100);
    EXPECT_EQ(window_->Count(L"click", L"BtnDisabled"), 0u);
}

TEST_F(AccessibilityTest, HitTestAndFocusNameTheControlUnderThePointAndWithTheKeys) {
    const std::vector<AccChild> all = Children();
    const AccChild* login = FindChild(all, L"登录", ROLE_SYSTEM_PUSHBUTTON);
    const POINT at = ui_test::Center(login->location);
    shell::UniqueVariant hit;
    ASSERT_EQ(object_->accHitTest(at.x, at.y, hit.put()), S_OK);
    ASSERT_EQ(hit.get()->vt, VT_I4);
    EXPECT_EQ(hit.get()->lVal, login->id);
    // A link inside its text is hit before the text.
    const AccChild* link = FindChild(all, L"注册", ROLE_SYSTEM_LINK);
    const POINT onLink = ui_test::Center(link->location);
    ASSERT_EQ(object_->accHitTest(onLink.x, onLink.y, hit.put()), S_OK);
    EXPECT_EQ(hit.get()->lVal, link->id);

    ClickControl(window_->Find(L"BtnLogin"));
    shell::UniqueVariant focus;
    ASSERT_EQ(object_->get_accFocus(focus.put()), S_OK);
    ASSERT_EQ(focus.get()->vt, VT_I4);
    EXPECT_EQ(focus.get()->lVal, login->id);
    EXPECT_NE(ui_test::ReadChild(object_.get(), login->id).state & STATE_SYSTEM_FOCUSED, 0);

    // Navigation walks the children in order.
    shell::UniqueVariant next;
    ASSERT_EQ(object_->accNavigate(NAVDIR_NEXT, ChildId(login->id), next.put()), S_OK);
    EXPECT_EQ(next.get()->lVal, login->id + 1);
    ASSERT_EQ(object_->accNavigate(NAVDIR_FIRSTCHILD, ChildId(CHILDID_SELF), next.put()), S_OK);
    EXPECT_EQ(next.get()->lVal, 1);
    EXPECT_EQ(object_->accNavigate(NAVDIR_NEXT, ChildId(static_cast<LONG>(all.size())), next.put()), S_FALSE);
}

TEST_F(AccessibilityTest, FocusAndCheckChangesAreAnnouncedWithTheControlsOwnId) {
    ui_test::WinEventRecorder events(EVENT_OBJECT_FOCUS, EVENT_OBJECT_STATECHANGE);
    ClickControl(window_->Find(L"BtnLogin"));
    EXPECT_TRUE(PumpUntil([&] { return !events.Of(EVENT_OBJECT_FOCUS).empty(); }, 2000));
    std::vector<ui_test::WinEvent> focus = events.Of(EVENT_OBJECT_FOCUS);
    ASSERT_FALSE(focus.empty());
    const ui_test::WinEvent& last = focus.back();
    EXPECT_EQ(last.hwnd, hwnd_);
    EXPECT_EQ(last.object, OBJID_CLIENT);
    // The event's child id reads back as that control, as a reader does it.
    AccChild got = ui_test::ReadChild(object_.get(), last.child);
    EXPECT_EQ(got.name, L"登录");
    EXPECT_EQ(got.role, ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_NE(got.state & STATE_SYSTEM_FOCUSED, 0);

    // A radio option: its state and its partner's.
    events.Clear();
    ClickControl(window_->Find(L"OpMyRequire"));
    EXPECT_TRUE(PumpUntil([&] { return events.Of(EVENT_OBJECT_STATECHANGE).size() >= 2; }, 2000));
    std::vector<std::wstring> changed;
    for (const ui_test::WinEvent& e : events.Of(EVENT_OBJECT_STATECHANGE)) {
        changed.push_back(ui_test::ReadChild(object_.get(), e.child).name);
    }
    EXPECT_NE(std::find(changed.begin(), changed.end(), L"我的询价"), changed.end());
    EXPECT_NE(std::find(changed.begin(), changed.end(), L"询价首页"), changed.end());

    // A native box: the system announces its own window, which names itself.
    events.Clear();
    auto* user = static_cast<ui::Edit*>(window_->Find(L"EditUsername"));
    ClickControl(user);
    ASSERT_NE(user->NativeHandle(), nullptr);
    EXPECT_TRUE(PumpUntil([&] {
        for (const auto& e : events.Of(EVENT_OBJECT_FOCUS)) {
            if (e.hwnd == user->NativeHandle()) return true;
        }
        return false;
    }, 2000));
    for (const auto& e : events.Of(EVENT_OBJECT_FOCUS)) {
        EXPECT_FALSE(e.hwnd == hwnd_ && e.child == user->AccessibleId()) << "the box is announced twice";
    }
    shell::ComPtr<IAccessible> box = ui::AccessibleOfWindow(user->NativeHandle());
    ASSERT_TRUE(box);
    const AccChild boxSelf = ui_test::ReadChild(box.get(), CHILDID_SELF);
    EXPECT_EQ(boxSelf.name, L"用户名");
    EXPECT_EQ(boxSelf.description, L"请输入星程账号");
    EXPECT_EQ(boxSelf.role, ROLE_SYSTEM_TEXT);
}

TEST_F(AccessibilityTest, TheBoxNamedByItsHintAndThePasswordBoxNameThemselves) {
    auto* post = static_cast<ui::RichEdit*>(window_->Find(L"PostEdit"));
    auto* password = static_cast<ui::Edit*>(window_->Find(L"EditPassword"));
    ASSERT_NE(post->NativeHandle(), nullptr);
    ASSERT_NE(password->NativeHandle(), nullptr);
    shell::ComPtr<IAccessible> postObject = ui::AccessibleOfWindow(post->NativeHandle());
    ASSERT_TRUE(postObject);
    EXPECT_EQ(ui_test::ReadChild(postObject.get(), CHILDID_SELF).name, L"发布或转发一条有效的询价");
    shell::ComPtr<IAccessible> passwordObject = ui::AccessibleOfWindow(password->NativeHandle());
    ASSERT_TRUE(passwordObject);
    EXPECT_EQ(ui_test::ReadChild(passwordObject.get(), CHILDID_SELF).name, L"密码");
    // The box's text is its value, never the secret.
    password->SetText(L"secret");
    shell::UniqueBstr value;
    BSTR raw = nullptr;
    passwordObject->get_accValue(ChildId(CHILDID_SELF), &raw);
    value.reset(raw);
    EXPECT_TRUE(!value || std::wstring(value.get()) != L"secret");
    raw = nullptr;
    const AccChild* fromWindow = FindChild(Children(), L"密码", ROLE_SYSTEM_TEXT);
    ASSERT_NE(fromWindow, nullptr);
    EXPECT_EQ(object_->get_accValue(ChildId(fromWindow->id), &raw), E_ACCESSDENIED);
    EXPECT_EQ(raw, nullptr);
}

TEST_F(AccessibilityTest, ANativeWindowNoControlClaimsIsAChildOfItsOwn) {
    const size_t before = Children().size();
    const HWND foreign = ::CreateWindowExW(0, L"STATIC", L"外部窗口", WS_CHILD | WS_VISIBLE, 200, 150, 80, 20, hwnd_,
                                           nullptr, nullptr, nullptr);
    ASSERT_NE(foreign, nullptr);
    const std::vector<AccChild> all = Children();
    ASSERT_EQ(all.size(), before + 1) << ui_test::Dump(all);
    const AccChild& last = all.back();
    EXPECT_EQ(last.name, L"外部窗口");
    EXPECT_GT(last.role, 0);
    RECT rc{};
    ::GetWindowRect(foreign, &rc);
    EXPECT_TRUE(::EqualRect(&last.location, &rc));
    // Its own object, for a reader to go into.
    shell::ComPtr<IDispatch> child;
    EXPECT_EQ(object_->get_accChild(ChildId(last.id), child.put()), S_OK);
    EXPECT_TRUE(child);
    // A control is a simple element of this object.
    EXPECT_EQ(object_->get_accChild(ChildId(1), child.put()), S_FALSE);
    EXPECT_FALSE(child);
    ::ShowWindow(foreign, SW_HIDE);
    EXPECT_EQ(Children().size(), before);
    ::DestroyWindow(foreign);
}

TEST_F(AccessibilityTest, AnObjectOutlivingItsWindowAnswersDisconnected) {
    auto* user = static_cast<ui::Edit*>(window_->Find(L"EditUsername"));
    shell::ComPtr<IAccessible> box = ui::AccessibleOfWindow(user->NativeHandle());
    ASSERT_TRUE(box);
    LONG count = 0;
    ASSERT_EQ(object_->get_accChildCount(&count), S_OK);
    ASSERT_GT(count, 0);

    ::DestroyWindow(hwnd_);
    ASSERT_TRUE(window_->destroyed);
    count = 7;
    EXPECT_EQ(object_->get_accChildCount(&count), RPC_E_DISCONNECTED);
    EXPECT_EQ(count, 0);
    BSTR name = nullptr;
    EXPECT_EQ(object_->get_accName(ChildId(1), &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(object_->accDoDefaultAction(ChildId(1)), RPC_E_DISCONNECTED);
    EXPECT_EQ(box->get_accName(ChildId(CHILDID_SELF), &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(name, nullptr);

    // And with the window's object deleted too.
    window_.reset();
    shell::UniqueVariant role;
    EXPECT_EQ(object_->get_accRole(ChildId(1), role.put()), RPC_E_DISCONNECTED);
    LONG x = 1, y = 1, w = 1, h = 1;
    EXPECT_EQ(object_->accLocation(&x, &y, &w, &h, ChildId(CHILDID_SELF)), RPC_E_DISCONNECTED);
    object_.reset();
    box.reset();  // the last references go without touching the window
}

}  // namespace
