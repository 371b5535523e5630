// A short-lived tip window near a point of the screen: a plain strip
// (type 0) or a speech bubble pointing up at a control (type 1). It closes
// on a click, on Return or Escape, when it loses the focus, or after a time.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/native_window.h"
#include "ui/paint_manager.h"

namespace ui {

enum ENoticeType { kNoticeSimple = 0, kNoticeChatBox = 1 };

class NoticeBanner : public NativeWindow {
public:
    struct Action {
        int activating = 0;  // 1: a tool window taking the focus, silent on close
        UINT message = 0;    // posted to `target` on close when not activating
        HWND target = nullptr;
    };

    static constexpr UINT kCloseTimer = 101;
    static constexpr int kWrapWidth = 242;

    explicit NoticeBanner(const Action& action) : action_(action) {}

    const wchar_t* GetWindowClassName() const override { return L"NoticeBanner"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;

    HWND InitNoticeWith(HWND parent, const std::wstring& text, POINT pt, int type, DWORD textColor, UINT timeMs);
    void UpdateNoticeWith(const std::wstring& text, POINT pt, int type, DWORD textColor, UINT timeMs);

    PaintManager& GetPaintManager() { return pm_; }
    // Test seam: banner times are multiplied by percent / 100.
    static void SetTimeScalePercent(UINT percent);

private:
    ~NoticeBanner() override = default;
    void Shape(int width, int height, int type);

    Action action_;
    PaintManager pm_;
    std::vector<Control*> lineControls_;  // per-line labels of a "<n>" text
};

}  // namespace ui
