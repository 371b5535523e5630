#include "tests/journey/fixture.h"

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

}  // namespace journey
