// The common ground of the two pop-ups: they sit in the corner of the work
// area next to the notification area, never take the keyboard focus from
// the window the user is typing in (not when shown, clicked or dragged),
// have no input method, and are announced to a screen reader when shown.
#pragma once

#include <windows.h>

#include "ui/secondary_window.h"

class PopupWindow : public ui::SecondaryWindow {
public:
    // Gaps between the pop-up and the edges of the work area, at 96 DPI.
    static constexpr int kGapX = 8;
    static constexpr int kGapY = 2;

    // Shows the window without activating it, at the top of the top-most
    // layer.
    void ShowOnTop();
    void Hide();
    bool IsShown() const { return hwnd_ != nullptr && ::IsWindowVisible(hwnd_) != FALSE; }
    // Moves the window, keeping its size, into the corner next to the
    // notification area.
    void PlaceInCorner();
    // Tells a screen reader that the pop-up has something new to read.
    void Announce();

protected:
    explicit PopupWindow(Args args) : SecondaryWindow(std::move(args)) {}

    // No parent, a tool window that never activates (a pop-up arrives while
    // the user types somewhere else), shown by the controller without
    // activation rather than by its creation.
    static Args PopupArgs(HWND owner, const wchar_t* layout, const wchar_t* className, const wchar_t* title,
                          UINT closedMessage) {
        Args args;
        args.owner = owner;
        args.layout = layout;
        args.className = className;
        args.title = title;
        args.style = kDialogStyle & ~WS_VISIBLE;
        args.exStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
        args.closedMessage = closedMessage;
        return args;
    }

    // Subclasses call this from their Init.
    void InitPopup();

    LRESULT OnNcHitTest(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    // True where the skin's caption area lies off every button and link.
    bool IsGrip(POINT screen);

    bool dragging_ = false;
    bool movedByUser_ = false;
    POINT dragFrom_{};    // the cursor where the drag began, screen pixels
    POINT windowFrom_{};  // the window's top-left corner then
};
