// One paint manager per framework window: it owns the window's control
// tree, lays it out, paints it through a back buffer, routes mouse and keys
// to the controls, delivers notifications, and runs the process's message
// loop with its pre-message filters.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/gdi.h"
#include "ui/image.h"

namespace ui {

class IMessageFilter {
public:
    virtual LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    ~IMessageFilter() = default;
};

// Sees keyboard messages of windows the framework does not own (an embedded
// browser's inner windows). Returns S_OK when it took the message.
class IAcceleratorTranslator {
public:
    virtual LRESULT TranslateAccelerator(MSG* msg) = 0;

protected:
    ~IAcceleratorTranslator() = default;
};

struct FontInfo {
    std::wstring face;
    int size = 12;  // pixel height at 96 DPI
    bool bold = false;
    bool underline = false;
    bool italic = false;
    UniqueFont font;  // at the manager's DPI
    TEXTMETRICW tm{};
};

class PaintManager {
public:
    // How long a window keeps its back buffer after its last paint.
    static constexpr UINT kKeepBackBufferMs = 2000;
    // The window timer of that release; the controls' timers count from 0x1000.
    static constexpr UINT_PTR kKeepBufferTimer = 0xFFF;

    PaintManager();
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // Process-wide skin sources (see SkinStore).
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetInstance();
    static std::wstring GetInstancePath();
    static void SetResourcePath(const std::wstring& path);
    static const std::wstring& GetResourcePath();
    static void SetResourceZip(const std::wstring& fileName);
    static void SetResourceZip(const void* data, size_t size);
    static const std::wstring& GetResourceZip();
    static bool IsCachedResourceZip();

    // Runs until WM_QUIT; returns its exit code.
    static int MessageLoop();
    // Runs the loop's handling of whatever is queued until pred() holds or
    // the time is up (tests and tools that drive windows step by step). A
    // quit message met on the way is dropped.
    static bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs);
    // The pre-message stage of the loop: true when a filter, the framework's
    // keys or a translate accelerator took the message.
    static bool TranslateMessage(const MSG* msg);

    void Init(HWND hwnd);
    HWND GetPaintWindow() const { return hwnd_; }
    bool AttachDialog(std::unique_ptr<Control> root);
    // Drops the tree (and everything pointing into it).
    void ReleaseRoot();
    Control* GetRoot() const { return root_.get(); }

    bool AddNotifier(INotifyListener* listener);
    bool RemoveNotifier(INotifyListener* listener);
    bool AddPreMessageFilter(IMessageFilter* filter);
    bool RemovePreMessageFilter(IMessageFilter* filter);
    bool AddTranslateAccelerator(IAcceleratorTranslator* translator);
    bool RemoveTranslateAccelerator(IAcceleratorTranslator* translator);

    Control* FindControl(std::wstring_view name) const;
    Control* FindControl(POINT pt) const;

    // Window attributes, in device pixels at the current DPI.
    SIZE GetInitSize() const;
    void SetInitSize(int cx, int cy);
    SIZE GetMinInfo() const;
    void SetMinInfo(int cx, int cy);
    SIZE GetMaxInfo() const;
    void SetMaxInfo(int cx, int cy);
    RECT GetCaptionRect() const;
    void SetCaptionRect(const RECT& units);
    RECT GetSizeBox() const;
    void SetSizeBox(const RECT& units);
    SIZE GetRoundCorner() const;
    void SetRoundCorner(int cx, int cy);

    // Fonts by skin index; -1 or an unknown index gives the default font.
    int AddFont(const std::wstring& face, int size, bool bold, bool underline, bool italic, bool isDefault);
    const FontInfo* GetFontInfo(int index) const;
    HFONT GetFont(int index) const;
    DWORD GetDefaultTextColor() const { return textColor_; }
    DWORD GetDefaultDisabledColor() const { return disabledColor_; }
    DWORD GetDefaultLinkColor() const { return linkColor_; }
    DWORD GetDefaultLinkHoverColor() const { return linkHoverColor_; }
    void SetDefaultColors(DWORD text, DWORD disabled, DWORD link, DWORD linkHover);

    void SetFocus(Control* control);
    Control* GetFocus() const { return focus_; }
    // Tab: the next visible, enabled tab stop that no layer covers, in
    // reading order, wrapping round.
    // Tells assistive technology about a control of this window (a focus
    // event only while the window has the keys).
    void RaiseAccessibleEvent(DWORD event, Control* control);
    // Whether the last key or button press this window routed was a key
    // (a menu opened by keys highlights its first item).
    bool LastInputFromKeyboard() const { return keyboardInput_; }
    bool SetNextTabControl(bool forward);
    // Whether focused controls show their focus mark: after the focus moved
    // by keyboard, or while the system shows keyboard cues
    // (WM_UPDATEUISTATE and UISF_HIDEFOCUS, as for standard controls).
    bool FocusCuesShown() const { return focusCues_; }
    void SetFocusCues(bool shown);

    std::shared_ptr<Image> GetImage(const std::wstring& file);
    void ReloadImage(const std::wstring& file);

    // Sends a notification now, or queues it for the start or end of the
    // handling of the window's next message.
    void SendNotify(Control* sender, const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool async = false);
    void SendNotify(Notification& msg, bool async = false);

    // The manager's own handling; true when it took the message.
    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void Invalidate(const RECT& rc);
    void NeedUpdate();
    // Lays the tree out now if it is pending (normally done before painting).
    void UpdateLayout();
    // Paints the whole client area into a DC (window captures).
    void PaintTo(HDC dc);
    // Bytes of the bitmap kept between paints (none while hidden, nor once
    // the window has not painted for a while).
    size_t BackBufferBytes() const { return static_cast<size_t>(backBuffer_.width) * backBuffer_.height * 4; }

    UINT GetDpi() const { return dpi_; }
    void SetDpi(UINT dpi);
    int Scale(int units) const { return dpi_ == 96 ? units : ::MulDiv(units, static_cast<int>(dpi_), 96); }

    bool SetTimer(Control* control, UINT id, UINT elapseMs);
    void KillTimer(Control* control, UINT id);
    // Forgets a control that is going away: focus, hover, timers, queue.
    void ReapObjects(Control* control);
    void RegisterNativeChild(HWND child, Control* control);
    void UnregisterNativeChild(HWND child);
    Control* ControlOfNativeChild(HWND child) const;
    // Shows and hides the native windows of the tree to match what is
    // visible and uncovered, laying the tree out first when that is pending.
    void SyncNativeWindows();

    void SetToolTipText(Control* control);  // refreshes a shown tip
    // Sends "menu" from the nearest control (this or an ancestor) that asks
    // for context menus.
    void RequestContextMenu(Control* from, WPARAM wParam, LPARAM lParam);
    std::weak_ptr<int> AliveToken() const { return alive_; }

private:
    void ReleaseBackBuffer();
    void OnKeepBufferTimer();
    void DeliverQueued();
    void HandleMouseMove(POINT pt, WPARAM keys);
    bool HandleKeys(const MSG* msg);
    bool ActivateShortcut(wchar_t ch);
    void ShowToolTip(Control* control);
    void HideToolTip();
    void RebuildFonts();
    ControlEvent MakeEvent(EventType type, POINT pt, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void Paint(HDC dc, const RECT& area);
    // Lays the tree out if pending; true when it did (the whole client
    // then needs painting).
    bool LayOut();

    HWND hwnd_ = nullptr;
    std::unique_ptr<Control> root_;
    std::vector<INotifyListener*> notifiers_;
    std::vector<IMessageFilter*> filters_;
    std::vector<IAcceleratorTranslator*> translators_;
    std::vector<Notification> queue_;
    std::vector<FontInfo> fonts_;
    FontInfo defaultFont_;
    std::map<std::wstring, std::shared_ptr<Image>> images_;
    std::map<HWND, Control*> nativeChildren_;
    struct Timer {
        Control* control;
        UINT id;
        UINT_PTR native;
    };
    std::vector<Timer> timers_;
    UINT_PTR nextTimer_ = 0x1000;

    SIZE initSize_{};
    SIZE minInfo_{};
    SIZE maxInfo_{};
    RECT caption_{};
    RECT sizeBox_{};
    SIZE roundCorner_{};
    DWORD textColor_ = 0xFF222222;
    DWORD disabledColor_ = 0xFFA0A0A0;
    DWORD linkColor_ = 0xFF1A73E8;
    DWORD linkHoverColor_ = 0xFF0B57D0;

    Control* focus_ = nullptr;
    Control* hover_ = nullptr;
    Control* pressed_ = nullptr;
    Control* tipControl_ = nullptr;
    HWND tooltip_ = nullptr;
    bool tipShown_ = false;
    bool mouseTracking_ = false;
    bool needUpdate_ = true;
    bool layingOut_ = false;
    bool syncing_ = false;
    bool focusCues_ = false;
    bool syncAgain_ = false;
    bool firstPaint_ = true;
    bool keyboardInput_ = false;
    UINT dpi_ = 96;
    POINT lastMouse_{};
    Dib backBuffer_;
    ULONGLONG lastPaint_ = 0;
    bool keepTimer_ = false;  // the release of the back buffer is scheduled
    // Expires with the manager; loops that call out check it afterwards.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ui
