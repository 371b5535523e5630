// The main window's everyday traffic: server clock, avatar, the web site's
// card-page login, posts, post counters and the login log.
#pragma once

#include <windows.h>

#include <json/json.h>

#include <string>

#include "net/request_manager.h"

class MainBusi : public FCHttpRequestManager {
public:
    // Failed card-page logins are re-sent after a pause that doubles from
    // the first to the last value.
    static constexpr UINT kWebLoginFirstRetryMs = 5000;
    static constexpr UINT kWebLoginLastRetryMs = 20 * 60 * 1000;

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
    UINT WebLoginRetryDelay() const { return retryPending_ ? retryDelay_ : 0; }
    void SetWebLoginRetryRange(UINT firstMs, UINT lastMs);  // tests

    static std::string AvatarPath(uint32_t uid);
    // The card-page form for a user name and password.
    static std::string WebLoginForm(const std::wstring& userName, const std::wstring& password);

protected:
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnServiceTimer(UINT_PTR id) override;

private:
    static constexpr UINT_PTR kWebLoginRetryTimer = 1;
    static Json::Value LoginLogDocument(const char* action);
    int StartLoginLog(const char* action);
    bool SendLoginLogNow(const char* action);
    void ReadTimeReply(const std::string& body);
    void ReadPostReply(const std::string& body);
    void ReadCountsReply(const std::string& body);
    void SaveAvatar(const std::string& body);
    void ScheduleWebLoginRetry();
    void SendWebLogin();

    HWND owner_;
    int timeId_ = -1;
    int avatarId_ = -1;
    int postId_ = -1;
    int countsId_ = -1;
    int webLoginId_ = -1;
    int startupLogId_ = -1;
    int loginLogId_ = -1;

    UINT retryFirst_ = kWebLoginFirstRetryMs;
    UINT retryLast_ = kWebLoginLastRetryMs;
    UINT retryDelay_ = kWebLoginFirstRetryMs;
    bool retryPending_ = false;
};
