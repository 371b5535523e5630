#include "ui/native_controls.h"

#include <commctrl.h>

#include "shell/unique_handle.h"
#include "ui/accessibility.h"
#include "ui/gdi.h"
#include "ui/paint_manager.h"
#include "ui/platform.h"

namespace ui {
namespace {

constexpr UINT_PTR kSubclassId = 0x7A75;
constexpr UINT kCreateTimer = 1;

// RichEdit 2.0 lives in Riched20.dll, loaded once and kept for the process.
bool LoadRichEditLibrary() {
    static shell::UniqueModule module(::LoadLibraryExW(L"riched20.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    return static_cast<bool>(module);
}

}  // namespace

NativeTextControl::~NativeTextControl() {
    if (manager_ != nullptr) manager_->KillTimer(this, kCreateTimer);
    if (hwnd_ != nullptr) {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        ::RemoveWindowSubclass(h, &SubclassProc, kSubclassId);
        if (manager_ != nullptr) manager_->UnregisterNativeChild(h);
        ::DestroyWindow(h);
    }
}

void NativeTextControl::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"maxchar") maxChars_ = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    else if (name == L"readonly") readOnly_ = ParseBool(value);
    else if (name == L"password") password_ = ParseBool(value);
    else if (name == L"inset") ParseRect(value, &textPadding_);  // as on containers
    else Label::SetAttribute(name, value);
}

// The native window comes from a timer, which fires only once the window
// has painted: creating edit windows (and loading RichEdit) costs start-up
// time, and the box is drawn by the framework until focused or filled.
void NativeTextControl::DoInit() {
    if (hwnd_ != nullptr || manager_ == nullptr || manager_->GetPaintWindow() == nullptr) return;
    if (!manager_->SetTimer(this, kCreateTimer, 1)) CreateNow();
}

void NativeTextControl::CreateNow() {
    if (manager_ != nullptr) manager_->KillTimer(this, kCreateTimer);
    if (hwnd_ != nullptr || manager_ == nullptr || manager_->GetPaintWindow() == nullptr) return;
    hwnd_ = CreateNative(manager_->GetPaintWindow());
    if (hwnd_ == nullptr) return;
    ::SetWindowSubclass(hwnd_, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    manager_->RegisterNativeChild(hwnd_, this);
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(manager_->GetFont(font_)), FALSE);
    if (maxChars_ > 0) ::SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(maxChars_), 0);
    if (readOnly_) ::SendMessageW(hwnd_, EM_SETREADONLY, TRUE, 0);
    ::SetWindowTextW(hwnd_, text_.c_str());
    ::EnableWindow(hwnd_, IsEnabled());
    RECT rc = NativeRect();
    ::MoveWindow(hwnd_, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
    UpdateNativeVisibility();
}

RECT NativeTextControl::NativeRect() const {
    RECT pad = GetTextPadding();
    const int border = Scale(borderSize_);
    return RECT{rect_.left + pad.left + border, rect_.top + pad.top + border, rect_.right - pad.right - border,
                rect_.bottom - pad.bottom - border};
}

void NativeTextControl::UpdateNativeVisibility() {
    if (hwnd_ == nullptr) return;
    const bool usable = IsVisible() && !IsCovered(NativeRect());
    if (!usable && IsFocused() && manager_ != nullptr) {
        manager_->SetFocus(nullptr);  // comes back here through KillFocus
        return;
    }
    const bool show = usable && (IsFocused() || ::GetWindowTextLengthW(hwnd_) > 0);
    // Keys must not go on into a box nobody sees.
    if (!show && ::GetFocus() == hwnd_ && manager_ != nullptr) ::SetFocus(manager_->GetPaintWindow());
    const bool shown = (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
    if (show != shown) ::ShowWindow(hwnd_, show ? SW_SHOWNA : SW_HIDE);
    Invalidate();
}

std::wstring NativeTextControl::GetText() const {
    if (hwnd_ == nullptr) return text_;
    int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
    int got = ::GetWindowTextW(hwnd_, &out[0], n + 1);
    out.resize(static_cast<size_t>(got > 0 ? got : 0));
    return out;
}

void NativeTextControl::SetText(const std::wstring& text) {
    text_ = text;
    if (hwnd_ != nullptr) ::SetWindowTextW(hwnd_, text.c_str());  // EN_CHANGE reports it
    UpdateNativeVisibility();
}

void NativeTextControl::SetSelAll() {
    if (hwnd_ != nullptr) ::SendMessageW(hwnd_, EM_SETSEL, 0, -1);
}

void NativeTextControl::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    if (hwnd_ != nullptr) ::SendMessageW(hwnd_, EM_SETREADONLY, readOnly, 0);
}

void NativeTextControl::SetPos(const RECT& rc) {
    Label::SetPos(rc);
    if (hwnd_ == nullptr) return;
    RECT r = NativeRect();
    ::SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeTextControl::SetVisible(bool visible) {
    Label::SetVisible(visible);
    UpdateNativeVisibility();
}

void NativeTextControl::SetInternVisible(bool visible) {
    Label::SetInternVisible(visible);
    UpdateNativeVisibility();
}

void NativeTextControl::SetEnabled(bool enabled) {
    Label::SetEnabled(enabled);
    if (hwnd_ != nullptr) ::EnableWindow(hwnd_, enabled);
}

void NativeTextControl::OnDpiChanged() {
    if (hwnd_ != nullptr && manager_ != nullptr) {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(manager_->GetFont(font_)), TRUE);
    }
}

void NativeTextControl::DoEvent(ControlEvent& event) {
    switch (event.type) {
        case EventType::Timer:
            if (event.wParam != kCreateTimer) break;
            CreateNow();
            return;
        case EventType::SetFocus:
            CreateNow();
            UpdateNativeVisibility();
            if (hwnd_ != nullptr && IsFocused() && (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0 &&
                ::GetFocus() != hwnd_) {
                ::SetFocus(hwnd_);
            }
            return;
        case EventType::KillFocus:
            UpdateNativeVisibility();
            return;
        case EventType::SetCursor:
            ::SetCursor(::LoadCursorW(nullptr, IDC_IBEAM));
            return;
        case EventType::ButtonDown:
        case EventType::ButtonUp:
        case EventType::DoubleClick:
            return;  // the manager has given the focus already
        default:
            break;
    }
    Label::DoEvent(event);
}

bool NativeTextControl::OnNativeMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
    if (msg == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
        UpdateNativeVisibility();
        SendNotify(L"textchanged");
        result = 0;
        return true;
    }
    return false;
}

void NativeTextControl::PaintText(HDC dc) {
    // Drawn only while the native window is hidden (no focus, no text).
    if (hwnd_ != nullptr && (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0) return;
    std::wstring text = GetText();
    if (text.empty()) return;
    if (password_) text.assign(text.size(), L'\x25CF');
    DrawLabelText(dc, text, EffectiveColor(0));
}

LRESULT CALLBACK NativeTextControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR data) {
    auto* self = reinterpret_cast<NativeTextControl*>(data);
    switch (msg) {
        case WM_SETFOCUS:
            if (self->manager_ != nullptr && self->manager_->GetFocus() != self) self->manager_->SetFocus(self);
            break;
        case WM_CONTEXTMENU:
            if (self->manager_ != nullptr) {
                for (Control* c = self; c != nullptr; c = c->GetParent()) {
                    if (c->IsContextMenuEnabled()) {
                        self->manager_->SendNotify(c, L"menu", wParam, lParam);
                        return 0;
                    }
                }
            }
            break;
        case WM_GETOBJECT:
            // The system's object for the box knows no name for it.
            if (LRESULT answer = AnswerNativeBoxGetObject(hwnd, wParam, lParam, *self)) return answer;
            break;
        case WM_NCDESTROY: {
            ::RemoveWindowSubclass(hwnd, &SubclassProc, kSubclassId);
            if (self->manager_ != nullptr) self->manager_->UnregisterNativeChild(hwnd);
            self->hwnd_ = nullptr;
            break;
        }
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

// ------------------------------------------------------------------- Edit

HWND Edit::CreateNative(HWND parent) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | ES_AUTOHSCROLL;
    if (password_) style |= ES_PASSWORD;
    if (align_ == DT_CENTER) style |= ES_CENTER;
    else if (align_ == DT_RIGHT) style |= ES_RIGHT;
    HWND hwnd = ::CreateWindowExW(0, L"EDIT", L"", style, 0, 0, 0, 0, parent, nullptr, PaintManager::GetInstance(),
                                  nullptr);
    if (hwnd != nullptr && password_) ::SendMessageW(hwnd, EM_SETPASSWORDCHAR, 0x25CF, 0);
    return hwnd;
}

RECT Edit::NativeRect() const {
    // A single-line edit has no vertical centring of its own.
    RECT rc = NativeTextControl::NativeRect();
    const FontInfo* font = manager_ ? manager_->GetFontInfo(font_) : nullptr;
    const int line = font ? font->tm.tmHeight + 2 : rc.bottom - rc.top;
    const int free = (rc.bottom - rc.top) - line;
    if (free > 0) {
        rc.top += free / 2;
        rc.bottom = rc.top + line;
    }
    return rc;
}

// --------------------------------------------------------------- RichEdit

void RichEdit::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"vscrollbar") vscroll_ = ParseBool(value);
    else if (name == L"wanttab") wantTab_ = ParseBool(value);
    else NativeTextControl::SetAttribute(name, value);
}

HWND RichEdit::CreateNative(HWND parent) {
    if (!LoadRichEditLibrary()) return nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL;
    if (vscroll_) style |= WS_VSCROLL;
    HWND hwnd = ::CreateWindowExW(0, L"RichEdit20W", L"", style, 0, 0, 0, 0, parent, nullptr,
                                  PaintManager::GetInstance(), nullptr);
    if (hwnd == nullptr) return nullptr;
    ::SendMessageW(hwnd, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO, 0);
    ::SendMessageW(hwnd, EM_SETEVENTMASK, 0, static_cast<LPARAM>(eventMask_));
    // In high contrast the box keeps the system's colours.
    if ((bkColor_ >> 24) != 0 && !HighContrastOn()) {
        ::SendMessageW(hwnd, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ToColorRef(bkColor_)));
    }
    return hwnd;
}

int RichEdit::GetTextLength() const {
    if (hwnd_ == nullptr) return static_cast<int>(text_.size());
    GETTEXTLENGTHEX gtl = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<int>(::SendMessageW(hwnd_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gtl), 0));
}

std::wstring RichEdit::GetSelText() const {
    if (hwnd_ == nullptr) return {};
    CHARRANGE cr{};
    ::SendMessageW(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&cr));
    if (cr.cpMax <= cr.cpMin) return {};
    std::wstring out(static_cast<size_t>(cr.cpMax - cr.cpMin) + 1, L'\0');
    LRESULT n = ::SendMessageW(hwnd_, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(&out[0]));
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

void RichEdit::SetEventMask(DWORD mask) {
    eventMask_ = mask;
    if (hwnd_ != nullptr) ::SendMessageW(hwnd_, EM_SETEVENTMASK, 0, static_cast<LPARAM>(mask));
}

void RichEdit::Copy() {
    if (hwnd_ != nullptr) ::SendMessageW(hwnd_, WM_COPY, 0, 0);
}

void RichEdit::Cut() {
    if (hwnd_ != nullptr) ::SendMessageW(hwnd_, WM_CUT, 0, 0);
}

void RichEdit::Paste() {
    if (hwnd_ != nullptr) ::SendMessageW(hwnd_, WM_PASTE, 0, 0);
}

}  // namespace ui
