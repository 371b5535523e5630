// Journeys through the real client: what a person does with the keyboard
// and the mouse, checked by what a screen reader reads back and by what the
// stand-in service received. Each journey starts the program afresh in a
// throw-away profile against its own stand-in instance.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/journey/driver.h"
#include "tests/journey/fixture.h"
#include "tests/support/inspect.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

using journey::Element;
using journey::Utf8;

// The login boxes carry names of their own; the post box is named by the
// hint laid over it.
const wchar_t kUserBox[] = L"用户名";
const wchar_t kPasswordBox[] = L"密码";
const wchar_t kPostBox[] = L"发布或转发一条有效的QQ即时询价信息奖励1积分，发布违规信息每次扣除10积分。";
const wchar_t kLogin[] = L"登录";

class Journey : public journey::JourneyTest {
protected:
    // The login layer's controls, shown by clicking "未登录用户".
    void OpenLoginLayer() {
        auto notSignedIn = client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_TRUE(notSignedIn) << journey::Describe(client->Read());
        journey::Click(*notSignedIn);
        ASSERT_TRUE(client->WaitFor(kUserBox, ROLE_SYSTEM_TEXT)) << journey::Describe(client->Read());
    }

    Json::Value Received(const char* action) {
        Json::Value matching(Json::arrayValue);
        for (const auto& r : standin.Received()) {
            if (r["action"].asString() == action) matching.append(r);
        }
        return matching;
    }


    // Signs in from the login layer with the mouse: a click into each box,
    // the text typed (the box selects what it held when it gets the focus).
    void SignInWithMouse(const wchar_t* user, const wchar_t* password) {
        if (!client->Find(kUserBox, ROLE_SYSTEM_TEXT)) OpenLoginLayer();
        auto userBox = client->Find(kUserBox, ROLE_SYSTEM_TEXT);
        ASSERT_TRUE(userBox) << journey::Describe(client->Read());
        journey::Click(*userBox);
        journey::Press('A', false, true);
        journey::Type(user);
        auto passwordBox = client->Find(kPasswordBox, ROLE_SYSTEM_TEXT);
        ASSERT_TRUE(passwordBox) << journey::Describe(client->Read());
        journey::Click(*passwordBox);
        journey::Press('A', false, true);
        journey::Type(password);
        auto login = client->Find(kLogin, ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_TRUE(login) << journey::Describe(client->Read());
        journey::Click(*login);
    }

    void SignInAsDemo() {
        OpenLoginLayer();
        SignInWithMouse(L"demo", L"demo123");
        ASSERT_TRUE(journey::WaitUntil([&] { return SignedIn(); }, 15000)) << journey::Describe(client->Read());
        journey::Pause(500);
    }

    // The control that has the keyboard focus, if one shows it.
    std::optional<Element> Focused() { return journey::FocusedIn(client->window()); }

    // Presses Tab until the named control has the focus (at most `limit` times).
    bool TabTo(const std::wstring& name, LONG role, int limit = 20) {
        for (int i = 0; i < limit; ++i) {
            auto f = Focused();
            if (f && f->name == name && f->role == role) return true;
            journey::Press(VK_TAB);
        }
        auto f = Focused();
        return f && f->name == name && f->role == role;
    }

    // The add_sq posts received so far.
    Json::Value Posts() { return Received("add_sq"); }

    bool SignedIn() { return client->Find(L"Demo User", ROLE_SYSTEM_STATICTEXT).has_value(); }

};

TEST_F(Journey, SignInByKeyboardAlone) {
    StartClient();
    OpenLoginLayer();
    ASSERT_TRUE(journey::BringToFront(client->window()));
    auto user = client->Find(kUserBox, ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(user);
    // Showing the layer puts the caret into the name box.
    EXPECT_TRUE(journey::WaitUntil([&] { return client->Find(kUserBox, ROLE_SYSTEM_TEXT)->Has(STATE_SYSTEM_FOCUSED); },
                                   3000))
        << journey::Describe(client->Read());
    journey::Type(L"demo");
    journey::Press(VK_TAB);
    ASSERT_TRUE(client->WaitFor(kPasswordBox, ROLE_SYSTEM_TEXT, 3000, STATE_SYSTEM_FOCUSED))
        << "Tab leaves the name box for the password box\n"
        << journey::Describe(client->Read());
    journey::Type(L"demo123");
    journey::Press(VK_RETURN);
    ASSERT_TRUE(journey::WaitUntil([&] { return SignedIn(); }, 15000)) << journey::Describe(client->Read());
    const Json::Value logins = Received("login");
    ASSERT_EQ(1u, logins.size());
    EXPECT_EQ("demo", logins[0]["document"]["user"].asString()) << logins[0].toStyledString();
    EXPECT_FALSE(client->Find(kUserBox, ROLE_SYSTEM_TEXT)) << "the login layer is gone";
    EXPECT_TRUE(client->Find(L"Yunfan Demo Travel", ROLE_SYSTEM_STATICTEXT));
    EXPECT_EQ(0u, client->Close());
}

// The categories of an inquiry as the post options name them, and the
// number the service receives for each.
struct Category {
    const wchar_t* option;
    int number;
};
const Category kCategories[] = {{L"找地接", 1}, {L"找专线", 2}, {L"找房", 3}, {L"找车", 4}, {L"找票务", 5}, {L"其他", 0}};

TEST_F(Journey, PostEachKindOfInquiryAndAPromotionWithTheMouse) {
    StartClient();
    SignInAsDemo();
    auto post = [&](const std::wstring& text, const wchar_t* option, const char* type, int category,
                    const char* tip) {
        SCOPED_TRACE(Utf8(option));
        const size_t before = Posts().size();
        auto box = client->WaitFor(kPostBox, ROLE_SYSTEM_TEXT);
        ASSERT_TRUE(box) << journey::Describe(client->Read());
        journey::Click(*box);
        // The options open while the box has the focus.
        ASSERT_TRUE(client->WaitFor(L"发布同业推广", ROLE_SYSTEM_RADIOBUTTON, 3000)) << journey::Describe(client->Read());
        journey::Type(text);
        const std::wstring rest = std::to_wstring(140 - static_cast<int>(text.size()));
        EXPECT_TRUE(client->WaitFor(rest, ROLE_SYSTEM_STATICTEXT, 3000))
            << "the counter shows " << Utf8(rest) << "\n" << journey::Describe(client->Read());
        auto choice = client->Find(option, ROLE_SYSTEM_RADIOBUTTON);
        ASSERT_TRUE(choice) << journey::Describe(client->Read());
        journey::Click(*choice);
        ASSERT_TRUE(client->WaitFor(option, ROLE_SYSTEM_RADIOBUTTON, 3000, STATE_SYSTEM_CHECKED))
            << "the option is chosen\n" << journey::Describe(client->Read());
        auto send = client->Find(L"发送", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_TRUE(send);
        journey::Click(*send);
        ASSERT_TRUE(journey::WaitUntil([&] { return Posts().size() > before; }, 8000))
            << "no post reached the service\ntip: " << Utf8(client->TipText());
        const Json::Value sent = Posts()[static_cast<Json::ArrayIndex>(before)]["document"];
        EXPECT_EQ(Utf8(text), sent["content"].asString());
        EXPECT_EQ(type, sent["type"].asString());
        EXPECT_EQ(std::to_string(category), sent["param"].asString());
        EXPECT_NE(std::wstring::npos, client->WaitForTip().find(journey::Wide(tip))) << Utf8(client->TipText());
        // A successful post empties the box.
        EXPECT_TRUE(client->WaitFor(L"140", ROLE_SYSTEM_STATICTEXT, 3000)) << journey::Describe(client->Read());
    };
    for (const Category& c : kCategories) {
        post(L"北京三日游 " + std::wstring(c.option) + L" 询价，明早出发", c.option, "0", c.number,
             "发布成功,获得系统奖励1积分");
        if (HasFatalFailure()) return;
    }
    post(L"同业推广：海南双飞五日游特价", L"发布同业推广", "1", -1, "发布成功!");
    EXPECT_EQ(7u, Posts().size());
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, PostAnInquiryChoosingTheKindByKeyboard) {
    StartClient();
    SignInAsDemo();
    auto box = client->WaitFor(kPostBox, ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(box) << journey::Describe(client->Read());
    journey::Click(*box);
    const std::wstring text = L"上海到杭州包车两天，七座商务车";
    journey::Type(text);
    EXPECT_TRUE(client->WaitFor(std::to_wstring(140 - static_cast<int>(text.size())), ROLE_SYSTEM_STATICTEXT, 3000));
    ASSERT_TRUE(TabTo(L"找车", ROLE_SYSTEM_RADIOBUTTON)) << "Tab never reached 找车\n" << journey::Describe(client->Read());
    journey::Press(VK_SPACE);
    EXPECT_TRUE(client->WaitFor(L"找车", ROLE_SYSTEM_RADIOBUTTON, 3000, STATE_SYSTEM_CHECKED))
        << journey::Describe(client->Read());
    ASSERT_TRUE(TabTo(L"发送", ROLE_SYSTEM_PUSHBUTTON)) << journey::Describe(client->Read());
    journey::Press(VK_SPACE);
    ASSERT_TRUE(journey::WaitUntil([&] { return Posts().size() == 1; }, 8000)) << Utf8(client->TipText());
    const Json::Value sent = Posts()[0]["document"];
    EXPECT_EQ(Utf8(text), sent["content"].asString());
    EXPECT_EQ("0", sent["type"].asString());
    EXPECT_EQ("4", sent["param"].asString());
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, SignOutWithADraftThenSignInAgainWithTheMouse) {
    StartClient();
    SignInAsDemo();
    auto box = client->WaitFor(kPostBox, ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(box);
    journey::Click(*box);
    const std::wstring draft = L"草稿：广州出发的团";
    journey::Type(draft);
    auto menuButton = client->Find(L"主菜单", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(menuButton);
    journey::Click(*menuButton);
    ASSERT_TRUE(journey::WaitUntil([&] { return client->Menu() != nullptr; }, 3000));
    auto signOut = journey::Find(client->Menu(), L"登出账户", ROLE_SYSTEM_MENUITEM);
    ASSERT_TRUE(signOut) << journey::Describe(journey::ReadWindow(client->Menu()));
    journey::Click(*signOut);
    ASSERT_TRUE(client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON, 5000)) << journey::Describe(client->Read());
    EXPECT_FALSE(SignedIn());
    bool loggedOut = false;
    for (const auto& r : Received("login_log")) loggedOut |= r["document"]["action"].asString() == "logout";
    EXPECT_TRUE(loggedOut) << "the service heard of the sign-out";
    // The login layer is up, over the post box: the boxes a person sees
    // are the login layer's, and nothing of the post layer is in the way.
    auto userBox = client->WaitFor(kUserBox, ROLE_SYSTEM_TEXT, 3000);
    ASSERT_TRUE(userBox) << journey::Describe(client->Read());
    ASSERT_FALSE(client->Find(kPostBox, ROLE_SYSTEM_TEXT)) << "the post box shows through the login layer";
    HWND under = ::WindowFromPoint(userBox->Centre());
    EXPECT_TRUE(under == client->window() || ::GetAncestor(under, GA_ROOT) == client->window());
    SignInWithMouse(L"demo", L"demo123");
    ASSERT_TRUE(journey::WaitUntil([&] { return SignedIn(); }, 15000)) << journey::Describe(client->Read());
    EXPECT_EQ(2u, Received("login").size());
    auto again = client->WaitFor(kPostBox, ROLE_SYSTEM_TEXT, 3000);
    ASSERT_TRUE(again);
    EXPECT_EQ(Utf8(draft), Utf8(again->value)) << "the draft is still in the post box";
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, WrongPasswordShowsTheTip) {
    StartClient();
    OpenLoginLayer();
    SignInWithMouse(L"demo", L"not-the-password");
    EXPECT_EQ(L"输入密码错误", client->WaitForTip()) << journey::Describe(client->Read());
    ASSERT_EQ(1u, Received("login").size());
    EXPECT_EQ("demo", Received("login")[0]["document"]["user"].asString());
    EXPECT_FALSE(SignedIn());
    EXPECT_TRUE(client->Find(kLogin, ROLE_SYSTEM_PUSHBUTTON)) << "the login controls are back";
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, ServiceDownWhenPressingLoginShowsFeedback) {
    StartClient();
    OpenLoginLayer();
    Json::Value down;
    down["action"] = "login";
    down["kind"] = "drop";
    standin.Fault(down);
    SignInWithMouse(L"demo", L"demo123");
    ASSERT_TRUE(journey::WaitUntil([&] { return Received("login").size() == 1; }, 8000));
    // The person is told, next to what they pressed, and can try again.
    const std::wstring tip = client->WaitForTip(10000);
    EXPECT_NE(std::wstring::npos, tip.find(L"网络异常")) << "tip: " << Utf8(tip);
    EXPECT_TRUE(client->WaitFor(kLogin, ROLE_SYSTEM_PUSHBUTTON, 5000)) << journey::Describe(client->Read());
    EXPECT_FALSE(SignedIn());
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, OpenEachPageOption) {
    StartClient();
    // Signed out, a personal page asks to sign in first.
    auto mine = client->WaitFor(L"我的询价", ROLE_SYSTEM_PAGETAB);
    ASSERT_TRUE(mine) << journey::Describe(client->Read());
    journey::Click(*mine);
    EXPECT_EQ(L"请登录后再查看您发布的询价", client->WaitForTip()) << journey::Describe(client->Read());
    EXPECT_TRUE(client->WaitFor(kUserBox, ROLE_SYSTEM_TEXT, 3000)) << "the login layer opens";
    SignInWithMouse(L"demo", L"demo123");
    ASSERT_TRUE(journey::WaitUntil([&] { return SignedIn(); }, 15000)) << journey::Describe(client->Read());
    struct Page {
        const wchar_t* option;
        bool postBox;
    } pages[] = {{L"我的询价", false}, {L"我的订阅", false}, {L"询价首页", true}};
    for (const Page& page : pages) {
        SCOPED_TRACE(Utf8(page.option));
        auto option = client->WaitFor(page.option, ROLE_SYSTEM_PAGETAB);
        ASSERT_TRUE(option);
        journey::Click(*option);
        EXPECT_TRUE(client->WaitFor(page.option, ROLE_SYSTEM_PAGETAB, 3000, STATE_SYSTEM_SELECTED))
            << journey::Describe(client->Read());
        for (const wchar_t* other : {L"我的询价", L"我的订阅", L"询价首页"}) {
            if (other == page.option) continue;
            auto o = client->Find(other, ROLE_SYSTEM_PAGETAB);
            ASSERT_TRUE(o);
            EXPECT_FALSE(o->Has(STATE_SYSTEM_SELECTED)) << Utf8(other);
        }
        // Only the list home page keeps the post box.
        EXPECT_EQ(page.postBox, journey::WaitUntil([&] { return client->Find(kPostBox, ROLE_SYSTEM_TEXT).has_value(); },
                                                   page.postBox ? 3000 : 500));
    }
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, MainMenuByKeyboard) {
    StartClient();
    ASSERT_TRUE(journey::BringToFront(client->window()));
    ASSERT_TRUE(TabTo(L"主菜单", ROLE_SYSTEM_PUSHBUTTON)) << "Tab never reached the menu button\n"
                                                        << journey::Describe(client->Read());
    journey::Press(VK_RETURN);
    ASSERT_TRUE(journey::WaitUntil([&] { return client->Menu() != nullptr; }, 3000)) << "the menu opens";
    HWND menu = client->Menu();
    const auto items = journey::ReadWindow(menu);
    for (const wchar_t* item : {L"设置", L"修改订阅", L"关于", L"意见反馈", L"登录", L"退出"}) {
        EXPECT_TRUE(journey::Find(menu, item, ROLE_SYSTEM_MENUITEM)) << Utf8(item) << "\n" << journey::Describe(items);
    }
    // Down to "登录", read out as it is reached, and chosen with Return.
    bool reached = false;
    for (int i = 0; i < 8 && !reached; ++i) {
        journey::Press(VK_DOWN);
        auto item = journey::Find(menu, L"登录", ROLE_SYSTEM_MENUITEM);
        reached = item && item->Has(STATE_SYSTEM_FOCUSED);
    }
    ASSERT_TRUE(reached) << journey::Describe(journey::ReadWindow(menu));
    journey::Press(VK_RETURN);
    EXPECT_TRUE(journey::WaitUntil([&] { return !::IsWindow(menu); }, 3000)) << "the menu closes";
    EXPECT_TRUE(client->WaitFor(kUserBox, ROLE_SYSTEM_TEXT, 3000, STATE_SYSTEM_FOCUSED))
        << "the login layer opens with the caret in the name box\n" << journey::Describe(client->Read());
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, TrayMenuChosenByKeyboard) {
    StartClient();
    // The icon is reached with the mouse, the menu is then worked by keys.
    HWND menu = OpenTrayMenu();
    ASSERT_NE(nullptr, menu) << "the tray menu opens";
    EXPECT_TRUE(journey::Find(menu, L"隐藏主面板", ROLE_SYSTEM_MENUITEM))
        << journey::Describe(journey::ReadWindow(menu));
    // End reaches the last item, Up goes back over the separator.
    journey::Press(VK_END);
    auto last = journey::Find(menu, L"退出", ROLE_SYSTEM_MENUITEM);
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->Has(STATE_SYSTEM_FOCUSED)) << journey::Describe(journey::ReadWindow(menu));
    journey::Press(VK_UP);
    auto hide = journey::Find(menu, L"隐藏主面板", ROLE_SYSTEM_MENUITEM);
    ASSERT_TRUE(hide);
    EXPECT_TRUE(hide->Has(STATE_SYSTEM_FOCUSED)) << journey::Describe(journey::ReadWindow(menu));
    journey::Press(VK_RETURN);
    EXPECT_TRUE(journey::WaitUntil([&] { return !::IsWindowVisible(client->window()); }, 3000))
        << "隐藏主面板 hides the window";
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, SecondStartRaisesTheFirstWindow) {
    StartClient();
    auto minimise = client->Find(L"最小化", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(minimise);
    journey::Click(*minimise);
    ASSERT_TRUE(journey::WaitUntil([&] { return ::IsIconic(client->window()) != FALSE; }, 3000));
    HANDLE second = client->StartAnother();
    ASSERT_NE(nullptr, second);
    ASSERT_TRUE(journey::WaitUntil([&] { return ::WaitForSingleObject(second, 0) == WAIT_OBJECT_0; }, 10000));
    DWORD code = 999;
    ::GetExitCodeProcess(second, &code);
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(journey::WaitUntil([&] { return !::IsIconic(client->window()) && ::IsWindowVisible(client->window()); },
                                   3000));
    EXPECT_TRUE(journey::WaitUntil([&] { return ::GetForegroundWindow() == client->window(); }, 3000));
    EXPECT_EQ(1u, journey::WindowsOf(client->processId(), journey::Client::kClass).size());
    // The raised window answers at once: the person can click on.
    EXPECT_TRUE(client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON, 3000));
    EXPECT_EQ(0u, client->Close());
}

TEST_F(Journey, FirstStartRegistersItselfOnlyInsideTheThrowAwayProfile) {
    const std::wstring runBefore = testing_support::RegistryString(testing_support::ProfileGuard::kRunKey, L"tavo");
    StartClient();
    // The client did what a first start does, in this profile...
    EXPECT_EQ(client->exe(), testing_support::RegistryString(testing_support::ProfileGuard::kRunKey, L"tavo"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((profile->data() + L"\\config.ini").c_str()));
    EXPECT_EQ(0u, client->Close());
    // ...and nothing of it outlives the journey (checked again by every teardown).
    client.reset();
    profile->Restore();
    EXPECT_EQ("", profile->Differences());
    EXPECT_EQ(runBefore, testing_support::RegistryString(testing_support::ProfileGuard::kRunKey, L"tavo"));
}

}  // namespace
