// What every journey starts from: a screen reader's thread, the stand-in
// service announcing nothing unless a journey says otherwise, a throw-away
// profile that must look as it did afterwards, and the client installed in
// a folder of its own.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/journey/driver.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace journey {

class JourneyTest : public ::testing::Test {
protected:
    static inline const std::string kApi = "/rovavoda.php/rovavoda/api/";

    void SetUp() override;
    void TearDown() override;

    // The service's state for the journey: no messages and no notices.
    virtual Json::Value InitialState();

    // Starts the client and waits until it shows its window and has asked
    // the service for the time.
    void StartClient();
    // The first visible window of that class of the client, once it shows.
    HWND WaitForWindowOf(const wchar_t* className, DWORD ms = 5000);
    // Opens the login layer ("未登录用户") and types the name and the
    // password into their boxes, each clicked and emptied first; signing
    // in is left to the journey (the button or Return).
    void FillLogin(const std::wstring& user, const std::wstring& password);
    // The notification-area icon's menu, opened with the mouse (under Wine
    // the notification area is a window of its own, with no keyboard way
    // in); null when it does not open.
    HWND OpenTrayMenu();

    testing_support::StandIn standin;
    std::unique_ptr<testing_support::ProfileGuard> profile;
    std::unique_ptr<Client> client;
};

}  // namespace journey
