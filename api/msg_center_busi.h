// The user's message centre: the count of new messages and the important
// notices, kept here for the pop-up controller to read.
#pragma once

#include <windows.h>

#include <json/json.h>

#include <string>
#include <vector>

#include "net/request_manager.h"

struct NoticeEntry {
    std::wstring title;
    std::wstring caption;
    std::wstring content;
    std::wstring more;  // the pop-up's button label
};

class MsgCenterBusi : public FCHttpRequestManager {
public:
    explicit MsgCenterBusi(HWND owner) : owner_(owner) {}

    void RequestNewMessageCount();
    void RequestImportantNotices();

    int NewMessageCount() const { return newMessages_; }
    const std::vector<NoticeEntry>& Notices() const { return notices_; }

protected:
    void OnRequestFinished(FCHttpRequest& request) override;

private:
    int Start(const char* action);
    void ReadCount(const Json::Value& data);
    void ReadNotices(const Json::Value& data);

    HWND owner_;
    int countId_ = -1;
    int noticesId_ = -1;
    std::vector<NoticeEntry> notices_;
    int newMessages_ = 0;
};
