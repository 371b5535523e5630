// The control tree: the base control, notifications and the three layout
// containers (vertical, horizontal, and one whose children overlap).
//
// Sizes given in the skin are layout units (pixels at 96 DPI); the control
// keeps them that way and converts to device pixels with its manager's DPI,
// so every getter and setter of a position or size speaks device pixels.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class PaintManager;
class Control;

struct Notification {
    std::wstring type;
    Control* sender = nullptr;
    DWORD timestamp = 0;
    POINT mouse{};  // client coordinates
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class INotifyListener {
public:
    virtual void Notify(Notification& msg) = 0;

protected:
    ~INotifyListener() = default;
};

enum class EventType {
    MouseMove,
    MouseEnter,
    MouseLeave,
    ButtonDown,
    ButtonUp,
    DoubleClick,
    ContextMenu,
    SetCursor,
    SetFocus,
    KillFocus,
    KeyDown,
    Char,
    ScrollWheel,
    Timer,
};

struct ControlEvent {
    EventType type = EventType::MouseMove;
    POINT pt{};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD timestamp = 0;
};

// Colours are 0xAARRGGBB; an alpha of 0 means "none".
DWORD ParseColor(const std::wstring& text);
inline COLORREF ToColorRef(DWORD argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}
bool ParseRect(const std::wstring& text, RECT* rc);
bool ParseSize(const std::wstring& text, SIZE* sz);
bool ParseBool(const std::wstring& text);

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    virtual std::wstring_view GetClass() const { return L"Control"; }

    const std::wstring& GetName() const { return name_; }
    void SetName(const std::wstring& name) { name_ = name; }
    PaintManager* GetManager() const { return manager_; }
    Control* GetParent() const { return parent_; }

    virtual std::wstring GetText() const { return text_; }
    virtual void SetText(const std::wstring& text);

    bool IsVisible() const { return visible_ && internVisible_; }
    virtual void SetVisible(bool visible);
    // Whether a layer drawn above this control overlaps `area`: a later
    // visible sibling container or float of the control or of one of its
    // containers, as a login layer lies over the post box.
    bool IsCovered(const RECT& area) const;
    // Brings a native window in line with the control's state (shown,
    // hidden, covered); the manager calls it after layout and visibility
    // changes.
    virtual void SyncNativeWindow() {}
    // Visibility inherited from the parent.
    virtual void SetInternVisible(bool visible);
    bool IsEnabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    bool IsMouseEnabled() const { return mouseEnabled_; }
    void SetMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
    bool IsFloat() const { return float_; }
    void SetFloat(bool f);

    // Whether Tab stops here.
    virtual bool IsTabStop() const { return false; }
    virtual void SetFocus();
    bool IsFocused() const;

    const std::wstring& GetToolTip() const { return tooltip_; }
    void SetToolTip(const std::wstring& text);
    const std::wstring& GetUserData() const { return userData_; }
    void SetUserData(const std::wstring& data) { userData_ = data; }
    wchar_t GetShortcut() const { return shortcut_; }
    void SetShortcut(wchar_t ch) { shortcut_ = ch; }

    // False when the image text is the one already set (nothing changes).
    bool SetBkImage(const std::wstring& image);
    const std::wstring& GetBkImage() const { return bkImage_; }
    void SetBkColor(DWORD argb);
    DWORD GetBkColor() const { return bkColor_; }
    void SetBorderColor(DWORD argb);
    void SetBorderSize(int size);

    void Invalidate();
    // The control's own size changed: its container lays out again.
    void NeedParentUpdate();
    // The control's content must be arranged again.
    void NeedUpdate();

    const RECT& GetPos() const { return rect_; }
    virtual void SetPos(const RECT& rc);
    int GetWidth() const { return rect_.right - rect_.left; }
    int GetHeight() const { return rect_.bottom - rect_.top; }
    int GetFixedWidth() const { return Scale(fixed_.cx); }
    void SetFixedWidth(int cx);
    int GetFixedHeight() const { return Scale(fixed_.cy); }
    void SetFixedHeight(int cy);
    int GetMinWidth() const { return Scale(minSize_.cx); }
    int GetMinHeight() const { return Scale(minSize_.cy); }
    int GetMaxWidth() const { return Scale(maxSize_.cx); }
    int GetMaxHeight() const { return Scale(maxSize_.cy); }
    void SetMinHeight(int cy);
    RECT GetPadding() const;  // margins kept free around the control, pixels
    void SetPadding(const RECT& rc);
    // Position of a floating control relative to its container, pixels.
    RECT GetFloatPos() const;

    // Wanted size; 0 in a dimension means "take what the container gives".
    virtual SIZE EstimateSize(SIZE available);

    virtual void SetAttribute(std::wstring_view name, const std::wstring& value);

    virtual void DoPaint(HDC dc, const RECT& dirty);
    virtual void DoEvent(ControlEvent& event);

    // The topmost visible, mouse-enabled control at a client point.
    virtual Control* FindAt(POINT pt);
    virtual Control* FindByName(std::wstring_view name);
    // Calls fn for this control and every descendant, in tree order.
    virtual void ForEach(const std::function<void(Control*)>& fn);

    virtual void SetManager(PaintManager* manager, Control* parent);
    // Called once the control sits in a tree bound to a window.
    virtual void DoInit() {}
    // The control's action by mouse click or shortcut key.
    virtual bool Activate();
    // Presses inside a caption area on this point do not drag the window.
    virtual bool KeepsCaptionPress(POINT pt) const { return false; }
    virtual void OnDpiChanged() {}
    // The native window of a native control, or null.
    virtual HWND NativeHandle() const { return nullptr; }
    // WM_COMMAND / WM_NOTIFY from the control's native window.
    virtual bool OnNativeMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) { return false; }
    // Whether a context-menu request here becomes a "menu" notification.
    bool IsContextMenuEnabled() const { return contextMenu_; }

    // What assistive technology is told where the text does not say it:
    // the skin's "accname" (a name) and "accrole" (a role keyword, see
    // accessibility.h).
    const std::wstring& GetAccessibleName() const { return accName_; }
    void SetAccessibleName(const std::wstring& name) { accName_ = name; }
    const std::wstring& GetAccessibleRole() const { return accRole_; }
    // The control's own child id in accessibility events: negative, unique
    // in the process and never reused, so a late question finds no other.
    LONG AccessibleId() const;

    // Listeners of this control, told before the window's notifiers.
    void AddListener(INotifyListener* listener);
    void RemoveListener(INotifyListener* listener);
    const std::vector<INotifyListener*>& Listeners() const { return listeners_; }

    int Scale(int units) const;
    int Unscale(int pixels) const;
    RECT ScaleRect(const RECT& rc) const;

protected:
    void SendNotify(const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0, bool async = false);
    // Paints an image attribute over the control (or its "dest" part).
    bool DrawImageAttribute(HDC dc, const std::wstring& attr, BYTE fade = 255);
    virtual void PaintBkColor(HDC dc);
    // Fills the control (with its rounding) in a colour.
    void FillBk(HDC dc, DWORD argb);
    virtual void PaintBkImage(HDC dc);
    virtual void PaintStatusImage(HDC dc) {}
    virtual void PaintText(HDC dc) {}
    virtual void PaintBorder(HDC dc);
    // A dotted frame just inside the bounds of a focused control, while the
    // window shows focus marks.
    virtual void PaintFocusMark(HDC dc);
    // The control became shown or hidden: its container lays out again and
    // native windows follow.
    void VisibilityChanged();

    PaintManager* manager_ = nullptr;
    Control* parent_ = nullptr;
    std::wstring name_;
    std::wstring text_;
    std::wstring tooltip_;
    std::wstring userData_;
    std::wstring bkImage_;
    std::wstring accName_;
    std::wstring accRole_;
    mutable LONG accId_ = 0;
    RECT rect_{};
    SIZE fixed_{};
    SIZE minSize_{};
    SIZE maxSize_{9999, 9999};
    RECT padding_{};
    RECT floatPos_{};
    DWORD bkColor_ = 0;
    DWORD borderColor_ = 0;
    int borderSize_ = 0;
    SIZE borderRound_{};
    wchar_t shortcut_ = 0;
    bool visible_ = true;
    bool internVisible_ = true;
    bool enabled_ = true;
    bool mouseEnabled_ = true;
    bool float_ = false;
    bool placing_ = false;  // being placed by its container
    bool contextMenu_ = false;
    std::vector<INotifyListener*> listeners_;

    friend class Container;
};

// Children overlap: each fills the container's inner rectangle (or its fixed
// size from the top-left corner). Later children are drawn above earlier ones.
class Container : public Control {
public:
    std::wstring_view GetClass() const override { return L"Container"; }

    bool Add(std::unique_ptr<Control> child);
    bool AddAt(std::unique_ptr<Control> child, int index);
    bool Remove(Control* child);
    void RemoveAll();
    int GetCount() const { return static_cast<int>(items_.size()); }
    Control* GetItemAt(int index) const;
    int GetItemIndex(const Control* child) const;

    RECT GetInset() const;
    void SetInset(const RECT& rc);
    int GetChildPadding() const { return Scale(childPadding_); }

    void SetPos(const RECT& rc) override;
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;
    void DoPaint(HDC dc, const RECT& dirty) override;
    Control* FindAt(POINT pt) override;
    Control* FindByName(std::wstring_view name) override;
    void ForEach(const std::function<void(Control*)>& fn) override;
    void SetManager(PaintManager* manager, Control* parent) override;
    void SetInternVisible(bool visible) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void OnDpiChanged() override;

protected:
    RECT InnerRect() const;
    void PlaceChild(Control* child, const RECT& rc);
    void PlaceFloat(Control* child);

    std::vector<std::unique_ptr<Control>> items_;
    RECT inset_{};
    int childPadding_ = 0;
};

class VerticalLayout : public Container {
public:
    std::wstring_view GetClass() const override { return L"VerticalLayout"; }
    void SetPos(const RECT& rc) override;
};

class HorizontalLayout : public Container {
public:
    std::wstring_view GetClass() const override { return L"HorizontalLayout"; }
    void SetPos(const RECT& rc) override;
};

}  // namespace ui
