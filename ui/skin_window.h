// The base of every skinned window: builds its content from a layout file
// of the skin, has no frame of its own (caption and edges come from the
// skin's caption and size-box margins), and hands control notifications to
// Notify.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "ui/layout_builder.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"

namespace ui {

class SkinWindow : public NativeWindow, public INotifyListener, public IMessageFilter, public IControlFactory {
public:
    SkinWindow() = default;

    // Slots in order; `handled` is set before each call, and an operation
    // that leaves a message to others clears it.
    const wchar_t* GetWindowClassName() const override = 0;
    const wchar_t* GetSuperClassName() const override { return nullptr; }
    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;
    ~SkinWindow() override;
    virtual void Init() {}
    virtual LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcActivate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcCalcSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcPaint(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcHitTest(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnGetMinMaxInfo(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnMouseWheel(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnKeyDown(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnKillFocus(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSetFocus(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual std::wstring GetSkinFolder();
    virtual std::wstring GetSkinFile() = 0;
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM key);

    // INotifyListener: every window reacts to its own controls.
    void Notify(Notification& msg) override = 0;
    // IMessageFilter: Return and Escape go to ResponseDefaultKeyEvent.
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    // IControlFactory: the layouts use the framework's own tags only.
    std::unique_ptr<Control> CreateControl(const std::wstring& tag) override { return nullptr; }

    PaintManager& GetPaintManager() { return pm_; }
    // The skin archive in the executable's resource, shared by every window
    // of the process; null until the first window opened it.
    static const std::string_view* SkinArchive() { return skin_archive_; }
    // Why the last layout of this window was refused (empty when built).
    const std::wstring& LayoutError() const { return layoutError_; }

protected:
    PaintManager pm_;
    std::wstring layoutError_;
    static const std::string_view* skin_archive_;
};

// The octagon the "roundcorner" outline follows, for a W × H window.
void RoundedOutline(int width, int height, int cx, int cy, POINT out[8]);

}  // namespace ui
