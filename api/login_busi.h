// Signs the user in: one "login" request, the profile stored in the
// settings, the outcome posted to the owner window as message 2068.
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

private:
    void ReadLoginReply(const std::string& body);

    HWND owner_;
    int loginId_ = -1;
};
