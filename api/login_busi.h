// Signs the user in: one "login" request, the profile stored in the
// settings, the outcome posted to the owner window as message 2068 (one
// for every login, whatever becomes of it).
#pragma once

#include <windows.h>

#include <string>

#include "net/request_manager.h"

class LoginBusi : public FCHttpRequestManager {
public:
    explicit LoginBusi(HWND owner) : owner_(owner) {}

    void Login(const std::wstring& userName, const std::wstring& password);

protected:
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnRequestTimeout(FCHttpRequest& request) override;

private:
    // True for a profile with a user; otherwise `code` keeps 0 or takes the
    // service's negative error code.
    bool ReadLoginReply(const std::string& body, LPARAM& code);

    HWND owner_;
    int loginId_ = -1;
};
