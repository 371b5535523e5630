// The message pop-up: how many new subscribed inquiries, or how many new
// messages of the message centre, wait for the user. One of its two bodies
// shows at a time; a click on the count or on "点击查看" takes the user there.
#pragma once

#include <windows.h>

#include "panels/popup_window.h"

namespace ui {
class Button;
class Control;
class Label;
}  // namespace ui

class PopupMsgPanel : public PopupWindow {
public:
    enum class Body { kInquiries, kMessages };

    static constexpr wchar_t kClassName[] = L"zudedo_popup_msg_panel";
    static constexpr wchar_t kLayout[] = L"popup_message_panel.xml";
    static constexpr wchar_t kTitle[] = L"询价消息";
    // The service's notice page, on the web host.
    static constexpr wchar_t kNoticePage[] = L"/notice";

    explicit PopupMsgPanel(HWND owner);

    // Shows the body with the count n (its own title, the count in its
    // button, which takes the count's width); true when what it shows
    // changed.
    bool Fill(Body body, int count);
    bool Shows(Body body) const;

private:
    void Init() override;
    void OnNotify(ui::Notification& msg) override;
    // The message centre's polling slows down while the user has seen or
    // dismissed its count.
    void SlowMessagePolling();

    ui::Label* title_ = nullptr;
    ui::Control* inquiries_ = nullptr;
    ui::Control* messages_ = nullptr;
    ui::Button* inquiryCount_ = nullptr;
    ui::Button* messageCount_ = nullptr;
    bool acted_ = false;
};
