// Text input through the system's own controls: a single-line edit and a
// plain-text RichEdit 2.0. The native window is shown while the control has
// the focus or holds text; otherwise the framework paints the control, so
// skin labels laid over an empty box (hints) stay visible. A native window
// never shows over a layer drawn above its control (it is hidden, and gives
// up the focus, while covered), and it keeps inside the control's text
// padding ("textpadding", or "inset") and border, so frames and counters
// drawn around it stay in sight.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "ui/controls.h"

namespace ui {

class NativeTextControl : public Label {
public:
    ~NativeTextControl() override;

    bool IsTabStop() const override { return IsVisible() && IsEnabled() && !IsCovered(NativeRect()); }
    HWND NativeHandle() const override { return hwnd_; }
    std::wstring GetText() const override;
    void SetText(const std::wstring& text) override;
    void SetSelAll();
    void SetReadOnly(bool readOnly);

    void DoInit() override;
    // The native window now, if it has not come yet.
    void CreateNow();
    void SetPos(const RECT& rc) override;
    void SetVisible(bool visible) override;
    void SetInternVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void DoEvent(ControlEvent& event) override;
    bool OnNativeMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;
    void OnDpiChanged() override;
    void SyncNativeWindow() override { UpdateNativeVisibility(); }
    // Where the native window goes, in client pixels.
    virtual RECT NativeRect() const;

protected:
    virtual HWND CreateNative(HWND parent) = 0;
    void PaintText(HDC dc) override;
    void UpdateNativeVisibility();
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND hwnd_ = nullptr;
    int maxChars_ = 0;
    bool readOnly_ = false;
    bool password_ = false;
};

class Edit : public NativeTextControl {
public:
    std::wstring_view GetClass() const override { return L"Edit"; }
    bool IsPassword() const { return password_; }
    RECT NativeRect() const override;

protected:
    HWND CreateNative(HWND parent) override;
};

class RichEdit : public NativeTextControl {
public:
    std::wstring_view GetClass() const override { return L"RichEdit"; }

    int GetTextLength() const;
    std::wstring GetSelText() const;
    void SetEventMask(DWORD mask);
    DWORD GetEventMask() const { return eventMask_; }
    void Copy();
    void Cut();
    void Paste();
    bool WantsTab() const { return wantTab_; }
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;

protected:
    HWND CreateNative(HWND parent) override;

private:
    DWORD eventMask_ = ENM_CHANGE;
    bool vscroll_ = false;
    bool wantTab_ = false;
};

}  // namespace ui
