// Makes, fills, shows, hides and forgets the two pop-ups for the main
// window, and keeps them from covering each other: while the notice pop-up
// is on screen the message pop-up is set aside, and it comes back when the
// notices are done. The counts and the notices are read from the services
// the window still has, so nothing is read once they are gone.
#pragma once

#include <windows.h>

#include "panels/main_window_host.h"
#include "panels/popup_msg_panel.h"
#include "panels/popup_notice_panel.h"
#include "panels/route_table.h"
#include "ui/window_ref.h"

class PopupController {
public:
    explicit PopupController(MainWindowHost& host) : host_(host) {}
    ~PopupController();
    PopupController(const PopupController&) = delete;
    PopupController& operator=(const PopupController&) = delete;

    // The services' announcements and the pop-ups' closing messages.
    void AddRoutes(RouteTable& routes);

    // Shows the message pop-up with the message centre's count, or with the
    // count of new subscribed inquiries.
    void ShowMessagePopup(PopupMsgPanel::Body body);
    void ShowMessageCountIfAny();
    // No new subscribed inquiries (any more): the message pop-up goes.
    void ShowOrHideInquiryCount();
    void ShowNotices();
    void MessagePopupClosed();
    void NoticePopupClosed();
    // Closes whichever pop-ups there are (signing out).
    void CloseAll();
    // Destroys them at once (the main window closes; no loop runs after).
    void DestroyAll();

    PopupMsgPanel* MessagePopup() const { return message_.Get(); }
    PopupNoticePanel* NoticePopup() const { return notice_.Get(); }
    bool MessagePopupSetAside() const { return setAside_; }

private:
    bool NoticeOnScreen() const;

    MainWindowHost& host_;
    ui::WindowRef<PopupMsgPanel> message_;
    ui::WindowRef<PopupNoticePanel> notice_;
    bool setAside_ = false;
};
