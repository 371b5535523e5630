// A pop-up menu drawn from a layout of the skin: a list "menu_container" of
// list elements, each carrying one label. A clicked item reaches the window
// that opened the menu later, as a notification named like the item.
//
// Keys: Up and Down move the highlight over the items that can be chosen
// (wrapping), Home and End go to the first and last, Return or Space
// chooses the highlighted item as a click does, Escape closes, and a
// letter moves to the next item whose text starts with it or whose
// mnemonic it is (the skin's "shortcut", else the first letter of the
// item's name after "menu_"). A menu opened by keys highlights its first
// item. The highlighted item has the framework's focus, which is what
// assistive technology is told.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"
#include "ui/window_ref.h"

namespace ui {

class UIMenu : public NativeWindow, public INotifyListener {
public:
    enum Placement : UINT { kRightBelow = 0, kLeftOfPoint = 8, kAbovePoint = 32 };

    explicit UIMenu(const std::wstring& layoutFile) : layout_(layoutFile) {}

    const wchar_t* GetWindowClassName() const override { return L"MenuWnd"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;
    void Notify(Notification& msg) override;

    // Opens the menu at a screen point; false (and nothing) without owner.
    bool Init(Control* owner, POINT pt, UINT flags);
    bool DisableItem(const std::wstring& name);
    bool EnableItem(const std::wstring& name, bool enable);
    bool SetItemText(const std::wstring& name, const std::wstring& text);
    bool RemoveItem(const std::wstring& name);

    PaintManager& GetPaintManager() { return pm_; }

    // The highlighted item, or null.
    ListElement* Highlighted() const;

private:
    ~UIMenu() override = default;
    void AdjustPosition();
    bool HandleKey(WPARAM key);
    bool HandleLetter(wchar_t ch);
    // The visible items in order, and whether one can be chosen.
    std::vector<ListElement*> Items() const;
    static bool Choosable(const ListElement* item);
    void Highlight(ListElement* item);
    // After the mouse moved: the highlight follows the item under it.
    void FollowMouse();
    Control* ItemLabel(const std::wstring& name);
    // The owner control's manager while that control is still in its tree.
    PaintManager* LiveOwnerManager() const;

    std::wstring layout_;
    PaintManager pm_;
    Control* owner_ = nullptr;
    WindowRef<PaintManager> ownerManager_;
    POINT point_{};
    UINT flags_ = 0;
    bool ended_ = false;  // the end of the menu has been announced
};

}  // namespace ui
