#include "panels/popup_controller.h"

#include "api/msg_center_busi.h"
#include "api/subscribe_busi.h"
#include "shell/messages.h"

PopupController::~PopupController() { DestroyAll(); }

void PopupController::AddRoutes(RouteTable& routes) {
    MessageRoutes& m = routes.messages;
    m.Add(msg::kMessagePopupClosed, [this](WPARAM, LPARAM) { MessagePopupClosed(); });
    m.Add(msg::kNoticePopupClosed, [this](WPARAM, LPARAM) { NoticePopupClosed(); });
    m.Add(msg::kNewInquiries, [this](WPARAM, LPARAM) { ShowOrHideInquiryCount(); });
    m.Add(msg::kNewMessages, [this](WPARAM, LPARAM) { ShowMessageCountIfAny(); });
    m.Add(msg::kNoticesReceived, [this](WPARAM, LPARAM) { ShowNotices(); });
}

bool PopupController::NoticeOnScreen() const {
    PopupNoticePanel* notice = notice_.Get();
    return notice != nullptr && notice->IsShown();
}

void PopupController::ShowMessagePopup(PopupMsgPanel::Body body) {
    int count = 0;
    if (body == PopupMsgPanel::Body::kMessages) {
        MsgCenterBusi* centre = host_.MessageCentre();
        if (centre == nullptr) return;
        count = centre->NewMessageCount();
    } else {
        SubscribeBusi* subscriptions = host_.Subscriptions();
        if (subscriptions == nullptr) return;
        count = subscriptions->NewInquiryTotal();
    }
    PopupMsgPanel* popup = message_.Get();
    const bool made = popup == nullptr;
    if (made) {
        // Placed in its corner by its Init, before it shows.
        popup = ui::SecondaryWindow::Open<PopupMsgPanel>(host_.Window());
        if (popup == nullptr) return;
        message_ = popup;
    }
    const bool wasShown = !made && popup->IsShown();
    const bool changed = popup->Fill(body, count);
    if (NoticeOnScreen()) {
        // The notice pop-up covers this corner; this one waits for it.
        if (made) popup->Hide();
        setAside_ = true;
        return;
    }
    popup->ShowOnTop();
    // Read out when it comes or says something new, not at every poll.
    if (!wasShown || changed) popup->Announce();
}

void PopupController::ShowMessageCountIfAny() {
    MsgCenterBusi* centre = host_.MessageCentre();
    if (centre != nullptr && centre->NewMessageCount() > 0) ShowMessagePopup(PopupMsgPanel::Body::kMessages);
}

void PopupController::ShowOrHideInquiryCount() {
    SubscribeBusi* subscriptions = host_.Subscriptions();
    if (subscriptions == nullptr) return;
    if (subscriptions->NewInquiryTotal() > 0) {
        ShowMessagePopup(PopupMsgPanel::Body::kInquiries);
        return;
    }
    if (PopupMsgPanel* popup = message_.Get()) popup->Hide();
}

void PopupController::ShowNotices() {
    MsgCenterBusi* centre = host_.MessageCentre();
    // An empty list leaves everything as it is.
    if (centre == nullptr || centre->Notices().empty()) return;
    PopupNoticePanel* notice = notice_.Get();
    if (notice == nullptr) {
        notice = ui::SecondaryWindow::Open<PopupNoticePanel>(host_.Window());
        if (notice == nullptr) return;
        notice_ = notice;
        if (PopupMsgPanel* popup = message_.Get(); popup != nullptr && popup->IsShown()) {
            popup->Hide();
            setAside_ = true;
        }
    }
    notice->Append(centre->Notices());
    notice->ShowOnTop();
}

void PopupController::MessagePopupClosed() {
    // A late message from an old pop-up must not forget a newer one.
    if (message_.Get() == nullptr) message_.Reset();
}

void PopupController::NoticePopupClosed() {
    if (notice_.Get() != nullptr) return;
    notice_.Reset();
    if (!setAside_) return;
    setAside_ = false;
    if (PopupMsgPanel* popup = message_.Get()) {
        popup->ShowOnTop();
        popup->Announce();
    }
}

void PopupController::CloseAll() {
    setAside_ = false;
    if (PopupMsgPanel* popup = message_.Get()) popup->Close(1);
    if (PopupNoticePanel* notice = notice_.Get()) notice->Close(1);
}

void PopupController::DestroyAll() {
    if (PopupMsgPanel* popup = message_.Get()) ::DestroyWindow(popup->GetHWND());
    if (PopupNoticePanel* notice = notice_.Get()) ::DestroyWindow(notice->GetHWND());
    message_.Reset();
    notice_.Reset();
    setAside_ = false;
}
