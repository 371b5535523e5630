// The base of the windows the main window opens beside itself (the pop-ups,
// the settings, subscription, posting-rule and about windows, the update
// windows). Made from one Args record, it tells its owner when it closes
// and deletes itself once its native window is gone, as the tip banner and
// the menus do. Its opener holds a WindowRef to it, never a bare pointer.
//
// One window is one small module:
//
//     class AboutPanel : public ui::SecondaryWindow {
//     public:
//         explicit AboutPanel(HWND owner)
//             : SecondaryWindow({owner, L"about_us.xml", L"zudedo_about_us_panel", L"关于云帆商务台",
//                                kDialogStyle, WS_EX_TOOLWINDOW, msg::kAboutPanelClosed}) {}
//
//     private:
//         void Init() override;                           // looks up its controls
//         void OnNotify(ui::Notification& msg) override;  // reacts to them
//     };
//
//     about_ = ui::SecondaryWindow::Open<AboutPanel>(hwnd_);  // a ui::WindowRef<AboutPanel>
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>
#include <utility>

#include "ui/skin_window.h"

namespace ui {

class SecondaryWindow : public SkinWindow {
public:
    // Pop-up, visible, with caption (the skin takes it off again) and system
    // menu, clipping its siblings and children.
    static constexpr DWORD kDialogStyle =
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

    struct Args {
        HWND owner = nullptr;       // told of the closing
        std::wstring layout;        // skin file (or layout text); empty for a window building its own
        std::wstring className;     // native class name, one per kind of window
        std::wstring title;
        DWORD style = kDialogStyle;
        DWORD exStyle = WS_EX_TOOLWINDOW;
        UINT closedMessage = 0;     // posted to `owner` (0, 0) on closing; 0 posts nothing
        bool owned = false;         // the native window is owned by `owner` (else it has none)
    };

    // Makes a W from `params`, creates its window at the system's default
    // place and shows it, taking the focus unless it is a no-activate
    // window. Null when no window could be made; the object is gone then.
    template <typename W, typename... P>
    static W* Open(P&&... params) {
        static_assert(std::is_base_of<SecondaryWindow, W>::value, "Open makes secondary windows only");
        W* window = new W(std::forward<P>(params)...);
        return CreateAndShow(window) ? window : nullptr;
    }

    const Args& GetArgs() const { return args_; }

    const wchar_t* GetWindowClassName() const override { return args_.className.c_str(); }
    std::wstring GetSkinFile() override { return args_.layout; }
    // Posts the closed message once, then lets the close proceed. A window
    // that overrides it calls it to close.
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    // Hands notifications to OnNotify; none once the window is closing, so
    // its owner hears nothing more from it after the closed message.
    void Notify(Notification& msg) final;
    // Releases the controls, runs OnWindowGone, deletes the object.
    void OnFinalMessage(HWND hwnd) final;

protected:
    explicit SecondaryWindow(Args args) : args_(std::move(args)) {}
    // Only the window deletes itself (or Open, for one never made).
    ~SecondaryWindow() override = default;

    // The window's own reaction to its controls.
    virtual void OnNotify(Notification& msg) = 0;
    // Runs once the native window is gone, before the object is deleted:
    // a window stores here what it leaves behind.
    virtual void OnWindowGone() {}
    bool IsClosing() const { return closing_; }
    // For a window's key filter: Return or Escape closes the window and is
    // taken (Return would otherwise also flip a focused option), except
    // Return on a focused button, which is that button's own click. True
    // when the key closed the window.
    bool CloseOnReturnOrEscape(UINT msg, WPARAM key, bool& handled);
    // Return would press the focused button.
    bool ReturnPressesFocusedButton();

private:
    static bool CreateAndShow(SecondaryWindow* window);

    Args args_;
    bool closing_ = false;
};

}  // namespace ui
