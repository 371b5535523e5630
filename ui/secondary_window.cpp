#include "ui/secondary_window.h"

#include <memory>

namespace ui {

bool SecondaryWindow::CreateAndShow(SecondaryWindow* window) {
    const std::weak_ptr<int> alive = window->pm_.AliveToken();
    const Args& args = window->args_;
    if (window->Create(args.owned ? args.owner : nullptr, args.title.c_str(), args.style, args.exStyle) == nullptr) {
        // A window destroyed while being created has deleted its object
        // already; one refused before it existed has not.
        if (!alive.expired()) delete window;
        return false;
    }
    window->ShowWindow(true, (args.exStyle & WS_EX_NOACTIVATE) == 0);
    return true;
}

LRESULT SecondaryWindow::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
    if (!closing_) {
        closing_ = true;
        if (args_.closedMessage != 0 && args_.owner != nullptr) ::PostMessageW(args_.owner, args_.closedMessage, 0, 0);
    }
    handled = false;  // the default processing destroys the window
    return 0;
}

bool SecondaryWindow::ReturnPressesFocusedButton() {
    const Control* focus = pm_.GetFocus();
    return focus != nullptr && focus->GetClass() == L"Button" && focus->IsVisible() && focus->IsEnabled();
}

bool SecondaryWindow::CloseOnReturnOrEscape(UINT msg, WPARAM key, bool& handled) {
    if (msg != WM_KEYDOWN || (key != VK_RETURN && key != VK_ESCAPE) || closing_) return false;
    if (key == VK_RETURN && ReturnPressesFocusedButton()) return false;
    Close(1);
    handled = true;
    return true;
}

void SecondaryWindow::Notify(Notification& msg) {
    if (!closing_) OnNotify(msg);
}

void SecondaryWindow::OnFinalMessage(HWND hwnd) {
    SkinWindow::OnFinalMessage(hwnd);
    OnWindowGone();
    // Last: the native window base touches nothing of the object after the
    // final message, so neither may anything here.
    delete this;
}

}  // namespace ui
