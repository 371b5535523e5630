#include "ui/menu.h"

#include <imm.h>

#include "ui/gdi.h"
#include "ui/layout_builder.h"
#include "ui/platform.h"

namespace ui {

bool UIMenu::Init(Control* owner, POINT pt, UINT flags) {
    if (owner == nullptr || owner->GetManager() == nullptr) return false;
    owner_ = owner;
    ownerManager_ = owner->GetManager();
    point_ = pt;
    flags_ = flags;
    if (Create(owner->GetManager()->GetPaintWindow(), L"", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, 0, 0, 0, 0) ==
        nullptr) {
        return false;
    }
    ShowWindow(true, true);
    // The owner keeps its active caption while the menu has the focus.
    HWND top = ::GetAncestor(hwnd_, GA_ROOTOWNER);
    if (top != nullptr && top != hwnd_) ::SendMessageW(top, WM_NCACTIVATE, TRUE, 0);
    ::ImmAssociateContext(hwnd_, nullptr);
    return true;
}

void UIMenu::AdjustPosition() {
    const SIZE size = pm_.GetInitSize();
    int x = (flags_ & kLeftOfPoint) ? point_.x - size.cx : point_.x;
    int y = ((flags_ & kAbovePoint) && point_.y > size.cy) ? point_.y - size.cy : point_.y;
    const RECT work = WorkAreaAt(point_);
    if (y + size.cy > work.bottom) {
        y = size.cy > work.bottom - work.top ? work.top : work.bottom - size.cy;
    }
    if (x + size.cx > work.right) {
        x = size.cx > work.right - work.left ? work.left : x - size.cx;
    }
    ::SetWindowPos(hwnd_, HWND_TOPMOST, x, y, size.cx, size.cy, SWP_NOACTIVATE);
}

LRESULT UIMenu::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: {
            pm_.Init(hwnd_);
            LayoutBuilder builder;
            if (auto root = builder.Create(layout_, nullptr, &pm_)) {
                pm_.AttachDialog(std::move(root));
                pm_.AddNotifier(this);
            }
            pm_.SetRoundCorner(3, 3);
            AdjustPosition();
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                Close(1);
                return 0;
            }
            break;
        case WM_KILLFOCUS:
            if (reinterpret_cast<HWND>(wParam) != hwnd_) PostMessageW(WM_CLOSE);
            break;
        case WM_SIZE: {
            const SIZE round = pm_.GetRoundCorner();
            RECT rc{};
            ::GetWindowRect(hwnd_, &rc);
            UniqueRegion region(::CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1,
                                                     round.cx * 2, round.cy * 2));
            if (region && ::SetWindowRgn(hwnd_, region.get(), TRUE)) region.release();
            break;
        }
        default:
            break;
    }
    LRESULT result = 0;
    if (pm_.MessageHandler(msg, wParam, lParam, result)) return result;
    return DefaultProc(msg, wParam, lParam);
}

PaintManager* UIMenu::LiveOwnerManager() const {
    PaintManager* manager = ownerManager_.Get();
    if (manager == nullptr || manager->GetRoot() == nullptr) return nullptr;
    bool found = false;
    manager->GetRoot()->ForEach([&](Control* c) { found = found || c == owner_; });
    return found ? manager : nullptr;
}

void UIMenu::Notify(Notification& msg) {
    if (msg.type == L"itemselect") {
        Close(1);
    } else if (msg.type == L"itemclick" && msg.sender != nullptr) {
        PaintManager* owner = LiveOwnerManager();
        if (owner != nullptr) owner->SendNotify(owner_, msg.sender->GetName().c_str(), 0, 0, true);
    }
}

void UIMenu::OnFinalMessage(HWND) {
    pm_.RemoveNotifier(this);
    pm_.ReleaseRoot();
    delete this;
}

Control* UIMenu::ItemLabel(const std::wstring& name) {
    auto* item = dynamic_cast<Container*>(pm_.FindControl(name));
    if (item == nullptr) return nullptr;
    for (int i = 0; i < item->GetCount(); ++i) {
        Control* c = item->GetItemAt(i);
        if (c->GetClass() == L"Label") return c;
    }
    return nullptr;
}

bool UIMenu::DisableItem(const std::wstring& name) { return EnableItem(name, false); }

bool UIMenu::EnableItem(const std::wstring& name, bool enable) {
    Control* label = ItemLabel(name);
    if (label == nullptr) return false;
    label->GetParent()->SetMouseEnabled(enable);
    label->SetEnabled(enable);
    label->GetParent()->Invalidate();
    return true;
}

bool UIMenu::SetItemText(const std::wstring& name, const std::wstring& text) {
    Control* label = ItemLabel(name);
    if (label == nullptr) return false;
    label->SetText(text);
    return true;
}

bool UIMenu::RemoveItem(const std::wstring& name) {
    Control* item = pm_.FindControl(name);
    if (item == nullptr || item->GetParent() == nullptr) return false;
    return static_cast<Container*>(item->GetParent())->Remove(item);
}

}  // namespace ui
