#include "panels/popup_msg_panel.h"

#include "api/open_url_syn_login.h"
#include "panels/main_window_host.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "ui/controls.h"

PopupMsgPanel::PopupMsgPanel(HWND owner)
    : PopupWindow(PopupArgs(owner, kLayout, kClassName, kTitle, msg::kMessagePopupClosed)) {}

void PopupMsgPanel::Init() {
    title_ = dynamic_cast<ui::Label*>(pm_.FindControl(L"LabelTitle"));
    inquiries_ = pm_.FindControl(L"LayoutZudedo");
    messages_ = pm_.FindControl(L"LayoutMsgCenter");
    inquiryCount_ = dynamic_cast<ui::Button*>(pm_.FindControl(L"MsgCountZudedo"));
    messageCount_ = dynamic_cast<ui::Button*>(pm_.FindControl(L"MsgCountMsgCenter"));
    InitPopup();
}

bool PopupMsgPanel::Shows(Body body) const {
    const ui::Control* layout = body == Body::kInquiries ? inquiries_ : messages_;
    return layout != nullptr && layout->IsVisible();
}

bool PopupMsgPanel::Fill(Body body, int count) {
    const bool inquiries = body == Body::kInquiries;
    ui::Control* layout = inquiries ? inquiries_ : messages_;
    ui::Control* other = inquiries ? messages_ : inquiries_;
    ui::Button* button = inquiries ? inquiryCount_ : messageCount_;
    bool changed = false;
    if (other != nullptr && other->IsVisible()) other->SetVisible(false);
    if (layout != nullptr && !layout->IsVisible()) {
        layout->SetVisible(true);
        if (title_ != nullptr) title_->SetText(inquiries ? L"询价提醒" : L"消息中心");
        changed = true;
    }
    if (button == nullptr) return changed;
    const std::wstring text = shell::FormatW(L" %d ", count);
    if (text == button->GetText()) return changed;
    button->SetFixedWidth(button->MeasureText(text).cx);
    button->SetText(text);
    return true;
}

void PopupMsgPanel::SlowMessagePolling() {
    const HWND owner = GetArgs().owner;
    if (owner != nullptr) ::SendMessageW(owner, msg::kSlowMessagePolling, 0, 0);
}

void PopupMsgPanel::OnNotify(ui::Notification& msg) {
    // One action per pop-up: a second click before the close arrives does
    // nothing more.
    if (msg.type != L"click" || msg.sender == nullptr || acted_) return;
    const std::wstring& name = msg.sender->GetName();
    if (name == L"BtnExit") {
        acted_ = true;
        if (Shows(Body::kMessages)) SlowMessagePolling();
        Close(1);
    } else if (name == L"MsgCountZudedo" || name == L"ReadMoreZudedo") {
        acted_ = true;
        const HWND owner = GetArgs().owner;
        if (owner != nullptr) ::PostMessageW(owner, msg::kShowSubscribedList, 0, 0);
        Close(1);
    } else if (name == L"MsgCountMsgCenter" || name == L"ReadMoreMsgCenter") {
        acted_ = true;
        SynLogin().OpenUrl(MainWindowHost::WebPage(kNoticePage));
        SlowMessagePolling();
        Close(1);
    }
}
