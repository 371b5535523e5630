#include "tests/journey/fixture.h"

#include <algorithm>

namespace journey {

Json::Value JourneyTest::InitialState() {
    Json::Value quiet;
    quiet["msg_count"] = 0;
    quiet["notices"] = Json::Value(Json::arrayValue);
    return quiet;
}

void JourneyTest::SetUp() {
    // A screen reader's thread: single-threaded apartment, pumping messages.
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
    standin.SetState(InitialState());
    ASSERT_EQ(nullptr, ::FindWindowW(Client::kClass, nullptr)) << "another client is running";
    profile = std::make_unique<testing_support::ProfileGuard>();
    client = std::make_unique<Client>(standin.port());
}

void JourneyTest::TearDown() {
    client.reset();
    if (profile) {
        profile->Restore();
        EXPECT_EQ("", profile->Differences()) << "the journey left something behind";
        profile.reset();
    }
    ::CoUninitialize();
}

void JourneyTest::StartClient() {
    ASSERT_TRUE(client->Start());
    ASSERT_NE(nullptr, client->WaitForWindow());
    ASSERT_TRUE(WaitUntil([&] { return !standin.ReceivedAt(kApi + "get_time").empty(); }, 15000))
        << "the client never asked the service for the time";
    Pause(300);
}

HWND JourneyTest::WaitForWindowOf(const wchar_t* className, DWORD ms) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            auto windows = WindowsOf(client->processId(), className);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        ms);
    return found;
}

void JourneyTest::FillLogin(const std::wstring& user, const std::wstring& password) {
    auto notSignedIn = client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(notSignedIn) << Describe(client->Read());
    Click(*notSignedIn);
    auto userBox = client->WaitFor(L"用户名", ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(userBox) << Describe(client->Read());
    Click(*userBox);
    Press('A', false, true);
    Type(user);
    auto passwordBox = client->Find(L"密码", ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(passwordBox) << Describe(client->Read());
    Click(*passwordBox);
    Press('A', false, true);
    Type(password);
}

HWND JourneyTest::OpenTrayMenu() {
    HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    HWND area = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (tray == nullptr && area == nullptr) return nullptr;
    HWND icon = nullptr;
    for (HWND w : {area, tray}) {
        if (w == nullptr || icon != nullptr) continue;
        for (HWND c = ::GetWindow(w, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
            if (::IsWindowVisible(c)) icon = c;
        }
    }
    RECT rc{};
    ::GetWindowRect(icon != nullptr ? icon : area, &rc);
    const int side = std::min(rc.right - rc.left, rc.bottom - rc.top);
    Click(POINT{rc.left + side / 2, rc.top + side / 2}, true);
    WaitUntil([&] { return client->Menu() != nullptr; }, 3000);
    return client->Menu();
}

}  // namespace journey
