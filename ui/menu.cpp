#include "ui/menu.h"

#include <imm.h>

#include <cwctype>

#include "ui/accessibility.h"
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
    // Asked before showing: the owner's last input decides the highlight.
    const bool byKeys = owner->GetManager()->LastInputFromKeyboard();
    ShowWindow(true, true);
    // The owner keeps its active caption while the menu has the focus.
    HWND top = ::GetAncestor(hwnd_, GA_ROOTOWNER);
    if (top != nullptr && top != hwnd_) ::SendMessageW(top, WM_NCACTIVATE, TRUE, 0);
    ::ImmAssociateContext(hwnd_, nullptr);
    RaiseAccessibleEvent(hwnd_, EVENT_SYSTEM_MENUPOPUPSTART, nullptr);
    if (byKeys) HandleKey(VK_HOME);
    return true;
}

std::vector<ListElement*> UIMenu::Items() const {
    std::vector<ListElement*> items;
    if (Control* root = pm_.GetRoot()) {
        root->ForEach([&](Control* c) {
            if (c->GetClass() == L"ListElement" && c->IsVisible()) items.push_back(static_cast<ListElement*>(c));
        });
    }
    return items;
}

bool UIMenu::Choosable(const ListElement* item) {
    if (item == nullptr || !item->IsVisible() || !item->IsEnabled() || !item->IsMouseEnabled()) return false;
    for (int i = 0; i < item->GetCount(); ++i) {
        if (!item->GetItemAt(i)->IsEnabled()) return false;  // a greyed label: DisableItem
    }
    return true;
}

ListElement* UIMenu::Highlighted() const {
    Control* focus = pm_.GetFocus();
    return focus != nullptr && focus->GetClass() == L"ListElement" ? static_cast<ListElement*>(focus) : nullptr;
}

void UIMenu::Highlight(ListElement* item) {
    for (ListElement* each : Items()) each->SetHot(each == item);
    pm_.SetFocus(item);  // tells assistive technology
}

bool UIMenu::HandleKey(WPARAM key) {
    std::vector<ListElement*> items;
    for (ListElement* item : Items()) {
        if (Choosable(item)) items.push_back(item);
    }
    ListElement* current = Highlighted();
    if (key == VK_RETURN || key == VK_SPACE) {
        // Chosen as a click chooses it: "itemclick" to the owner, then closed.
        if (Choosable(current)) current->Activate();
        return true;
    }
    if (key != VK_UP && key != VK_DOWN && key != VK_HOME && key != VK_END) return false;
    if (items.empty()) return true;
    const int n = static_cast<int>(items.size());
    int at = -1;
    for (int i = 0; i < n; ++i) {
        if (items[static_cast<size_t>(i)] == current) at = i;
    }
    int next = 0;
    if (key == VK_HOME) next = 0;
    else if (key == VK_END) next = n - 1;
    else if (key == VK_DOWN) next = at < 0 ? 0 : (at + 1) % n;
    else next = at < 0 ? n - 1 : (at + n - 1) % n;
    Highlight(items[static_cast<size_t>(next)]);
    return true;
}

namespace {

wchar_t Lower(wchar_t ch) { return static_cast<wchar_t>(std::towlower(ch)); }

// The item's letter: the skin's shortcut, else the first letter of its
// name after "menu_" ("menu_exit": e), for items whose text is Chinese.
wchar_t Mnemonic(const ListElement& item) {
    if (item.GetShortcut() != 0) return Lower(item.GetShortcut());
    std::wstring name = item.GetName();
    if (name.rfind(L"menu_", 0) == 0) name.erase(0, 5);
    return !name.empty() && name[0] < 0x80 && std::iswalpha(name[0]) ? Lower(name[0]) : 0;
}

std::wstring ItemText(const ListElement& item) {
    for (int i = 0; i < item.GetCount(); ++i) {
        const std::wstring text = item.GetItemAt(i)->GetText();
        if (!text.empty()) return text;
    }
    return item.GetText();
}

}  // namespace

bool UIMenu::HandleLetter(wchar_t ch) {
    if (ch <= L' ') return false;
    const wchar_t key = Lower(ch);
    std::vector<ListElement*> items;
    for (ListElement* item : Items()) {
        if (Choosable(item)) items.push_back(item);
    }
    const size_t n = items.size();
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (items[i] == Highlighted()) start = i + 1;
    }
    // From the item after the highlighted one, so repeated presses go round.
    for (size_t k = 0; k < n; ++k) {
        ListElement* item = items[(start + k) % n];
        const std::wstring text = ItemText(*item);
        const wchar_t first = text.empty() ? 0 : Lower(text[0]);
        if (first == key || Mnemonic(*item) == key) {
            Highlight(item);
            return true;
        }
    }
    return true;
}

void UIMenu::FollowMouse() {
    ListElement* current = Highlighted();
    ListElement* hot = nullptr;
    for (ListElement* item : Items()) {
        if (item->IsHot() && item != current && Choosable(item)) hot = item;
    }
    if (hot != nullptr) Highlight(hot);
    else if (current != nullptr && !current->IsHot()) pm_.SetFocus(nullptr);  // the mouse took it away
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
            if (HandleKey(wParam)) return 0;
            break;
        case WM_CHAR:
            if (HandleLetter(static_cast<wchar_t>(wParam))) return 0;
            break;
        case WM_CLOSE:
            // Announced while the window still exists (an event about a
            // window that is gone is dropped by some systems); the close
            // itself comes after the announcement has gone out.
            if (!ended_) {
                ended_ = true;
                RaiseAccessibleEvent(hwnd_, EVENT_SYSTEM_MENUPOPUPEND, nullptr);
                PostMessageW(WM_CLOSE, wParam, lParam);
                return 0;
            }
            break;
        case WM_DESTROY:
            if (!ended_) RaiseAccessibleEvent(hwnd_, EVENT_SYSTEM_MENUPOPUPEND, nullptr);  // its owner went
            ended_ = true;
            break;
        case WM_GETOBJECT:
            if (LRESULT answer = AnswerGetObject(pm_, wParam, lParam, ROLE_SYSTEM_MENUPOPUP)) return answer;
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
    const bool handled = pm_.MessageHandler(msg, wParam, lParam, result);
    if (msg == WM_MOUSEMOVE || msg == WM_MOUSELEAVE) FollowMouse();
    if (handled) return result;
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
