// A weak reference to a framework window that deletes itself (a secondary
// window, a tip banner, a menu), or to the paint manager of any window. It
// follows the manager's alive token, so it never reads a window whose
// object is gone, and it answers null as soon as the window is destroyed,
// before the window's closing message reaches its owner.
//
// The opener holds one instead of a pointer and a window handle:
//
//     ui::WindowRef<ui::NoticeBanner> banner_;
//     if (ui::NoticeBanner* b = banner_.Get()) b->UpdateNoticeWith(...);
//     else banner_ = NewBanner(...);  // the old one has deleted itself
//
// and needs no IsWindow check and no forgetting on the closing message.
// User-interface thread only, like the windows it follows.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/paint_manager.h"

namespace ui {

namespace window_ref_detail {

inline PaintManager& ManagerOf(PaintManager& manager) { return manager; }
template <typename W>
PaintManager& ManagerOf(W& window) {
    return window.GetPaintManager();
}

inline HWND HandleOf(const PaintManager& manager) { return manager.GetPaintWindow(); }
template <typename W>
HWND HandleOf(const W& window) {
    return window.GetHWND();
}

}  // namespace window_ref_detail

template <typename T>
class WindowRef {
public:
    WindowRef() noexcept = default;
    explicit WindowRef(T* window) noexcept { *this = window; }

    WindowRef& operator=(T* window) noexcept {
        window_ = window;
        alive_ = window != nullptr ? window_ref_detail::ManagerOf(*window).AliveToken() : std::weak_ptr<int>();
        return *this;
    }

    // The window while its object lives and its native window exists,
    // else null.
    T* Get() const noexcept {
        // The token first: the window's memory is read only while it lives.
        if (window_ == nullptr || alive_.expired()) return nullptr;
        return window_ref_detail::HandleOf(*window_) != nullptr ? window_ : nullptr;
    }
    explicit operator bool() const noexcept { return Get() != nullptr; }

    void Reset() noexcept { *this = nullptr; }

private:
    T* window_ = nullptr;
    std::weak_ptr<int> alive_;
};

}  // namespace ui
