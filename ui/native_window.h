// A thin owner of one native window and its window procedure. `this` rides
// in the creation parameters, is bound on WM_NCCREATE and unbound before the
// final message, so late messages never reach a half-destroyed object.
#pragma once

#include <windows.h>

namespace ui {

class NativeWindow {
public:
    NativeWindow() = default;
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;

    HWND GetHWND() const { return hwnd_; }
    operator HWND() const { return hwnd_; }

    // Position and size default to the system's choice.
    HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);
    void ShowWindow(bool show = true, bool takeFocus = true);
    void CenterWindow();
    void SetIcon(UINT resourceId);
    // Posts a close request carrying a result code.
    void Close(UINT result = IDOK);
    LRESULT SendMessageW(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessageW(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    DWORD ModifyStyle(DWORD remove, DWORD add);
    DWORD ModifyStyleEx(DWORD remove, DWORD add);

    // In slot order: class name, superclass, class style, dispatch, final
    // message, destructor.
    virtual const wchar_t* GetWindowClassName() const = 0;
    virtual const wchar_t* GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return CS_DBLCLKS; }
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND hwnd) {}
    virtual ~NativeWindow();

protected:
    bool RegisterWindowClass();
    bool RegisterSuperclass();
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    WNDPROC superProc_ = nullptr;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT Dispatch(NativeWindow* self, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

}  // namespace ui
