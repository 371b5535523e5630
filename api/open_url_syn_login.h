// Opens service pages in the user's browser already signed in: pages go
// through the web site's "/alogin" address with an enciphered request
// naming the page, signed with a digest of the sign-on token.
#pragma once

#include <string>

#include "net/request_manager.h"

class OpenUrlSynLogin : public FCHttpRequestManager {
public:
    void RequestToken();
    // Opens the page, signed in when possible; always true.
    bool OpenUrl(const std::wstring& page);
    // The address OpenUrl would open.
    std::wstring SignOnAddress(const std::wstring& page) const;

    const std::string& Token() const { return token_; }

protected:
    void OnRequestFinished(FCHttpRequest& request) override;

private:
    std::string token_;
    int tokenId_ = -1;
};

// The process-wide object.
OpenUrlSynLogin& SynLogin();
