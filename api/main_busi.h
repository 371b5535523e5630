// The main window's everyday traffic: server clock, avatar, the web site's
// card-page login, posts, post counters and the login log.
#pragma once

#include <windows.h>

#include <json/json.h>

#include <string>

#include "net/request_manager.h"

class MainBusi : public FCHttpRequestManager {
public:
    // Failed card-page logins and clock requests are sent again after a
    // pause that doubles from the first to the last value.
    static constexpr UINT kWebLoginFirstRetryMs = 5000;
    static constexpr UINT kWebLoginLastRetryMs = 20 * 60 * 1000;
    static constexpr UINT kTimeFirstRetryMs = 5000;
    static constexpr UINT kTimeLastRetryMs = 5 * 60 * 1000;

    explicit MainBusi(HWND owner) : owner_(owner) {}

    void SyncServerTime();
    void DownloadAvatar();
    void WebLogin();
    // Forgets a pending card-page retry (the user signed out).
    void CancelWebLogin();
    void AddPost(const std::wstring& text, int type, int param);
    void GetPostCounts();
    void ReportStartup();
    void ReportLogin();
    // Sent on the calling thread; true when the report went out.
    bool ReportLogout();
    bool ReportExit();

    // The pause before the next card-page retry (0 when none is pending).
    UINT WebLoginRetryDelay() const { return webLoginRetry_.pending ? webLoginRetry_.delay : 0; }
    void SetWebLoginRetryRange(UINT firstMs, UINT lastMs) { webLoginRetry_.SetRange(firstMs, lastMs); }  // tests
    void SetTimeRetryRange(UINT firstMs, UINT lastMs) { timeRetry_.SetRange(firstMs, lastMs); }          // tests

    static std::string AvatarPath(uint32_t uid);
    // The card-page form for a user name and password.
    static std::string WebLoginForm(const std::wstring& userName, const std::wstring& password);

protected:
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnRequestTimeout(FCHttpRequest& request) override;
    void OnServiceTimer(UINT_PTR id) override;

private:
    // A retry on a timer of the event window, its pause doubling each time.
    struct Retry {
        UINT_PTR timer;
        UINT first;
        UINT last;
        UINT delay;
        bool pending = false;
        void SetRange(UINT firstMs, UINT lastMs);
    };
    static constexpr UINT_PTR kWebLoginRetryTimer = 1;
    static constexpr UINT_PTR kTimeRetryTimer = 2;
    void Schedule(Retry& retry);
    void Cancel(Retry& retry);
    void OnRequestFailed(int id);
    static Json::Value LoginLogDocument(const char* action);
    int StartLoginLog(const char* action);
    bool SendLoginLogNow(const char* action);
    void ReadTimeReply(const std::string& body);
    void ReadPostReply(const std::string& body);
    void ReadCountsReply(const std::string& body);
    void SaveAvatar(const std::string& body);
    void SendWebLogin();

    HWND owner_;
    int timeId_ = -1;
    int avatarId_ = -1;
    int postId_ = -1;
    int countsId_ = -1;
    int webLoginId_ = -1;
    int startupLogId_ = -1;
    int loginLogId_ = -1;

    Retry webLoginRetry_{kWebLoginRetryTimer, kWebLoginFirstRetryMs, kWebLoginLastRetryMs, kWebLoginFirstRetryMs};
    Retry timeRetry_{kTimeRetryTimer, kTimeFirstRetryMs, kTimeLastRetryMs, kTimeFirstRetryMs};
};
