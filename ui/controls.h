// The framework's drawn controls: label, formatted text, button, option,
// list and list element (menus), and the animated GIF.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/image.h"

namespace ui {

class Label : public Control {
public:
    std::wstring_view GetClass() const override { return L"Label"; }

    void SetTextColor(DWORD argb);
    DWORD GetTextColor() const { return textColor_; }
    void SetFont(int index);
    int GetFont() const { return font_; }
    RECT GetTextPadding() const { return ScaleRect(textPadding_); }
    void SetTextPadding(const RECT& rc);
    // Pixel size of a text in this label's font, on one line.
    SIZE MeasureText(const std::wstring& text) const;

    void SetAttribute(std::wstring_view name, const std::wstring& value) override;
    SIZE EstimateSize(SIZE available) override;

protected:
    void PaintText(HDC dc) override;
    void DrawLabelText(HDC dc, const std::wstring& text, DWORD color);
    // The text colour: the preferred one, the label's, or the default; in
    // high contrast always a system colour.
    DWORD EffectiveColor(DWORD preferred) const;
    // Drawn over the highlight colour (in high contrast): a hot button,
    // the label of a hot menu item.
    virtual bool OnHighlight() const;

    int font_ = -1;
    DWORD textColor_ = 0;
    DWORD disabledTextColor_ = 0;
    UINT align_ = DT_LEFT;
    UINT valign_ = DT_VCENTER;
    RECT textPadding_{};
    bool multiline_ = false;
    bool endEllipsis_ = false;
    bool autoWidth_ = false;
};

// Text with markup: "<n>" breaks the line, "<c #RRGGBB>…</c>" colours a run,
// "<a target>…</a>" is a link (clicking it sends "link" with its index).
class FormattedText : public Label {
public:
    std::wstring_view GetClass() const override { return L"FormattedText"; }

    // The target of the link with that index (its text when it names none).
    std::wstring GetLinkContent(int index) const;
    int GetLinkCount() const { return static_cast<int>(links_.size()); }
    // Client rectangle of a link's first piece (tests, tooltips).
    RECT GetLinkRect(int index) const;
    // Plain text without markup.
    std::wstring GetPlainText() const;
    // The shown text of a link.
    std::wstring GetLinkText(int index) const;
    // Sends "link" for that link, as a click on it does.
    bool ActivateLink(int index);

    void SetText(const std::wstring& text) override;
    void SetPos(const RECT& rc) override;
    void DoEvent(ControlEvent& event) override;
    bool KeepsCaptionPress(POINT pt) const override { return LinkAt(pt) >= 0; }
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;
    void OnDpiChanged() override { Arrange(); }

protected:
    void PaintText(HDC dc) override;

private:
    struct Piece {
        std::wstring text;
        DWORD color = 0;
        int link = -1;
        RECT rc{};
    };
    struct Run {
        std::wstring text;
        DWORD color = 0;
        int link = -1;
        bool lineBreak = false;
    };
    void Parse();
    void Arrange();
    int LinkAt(POINT pt) const;

    std::vector<Run> runs_;
    std::vector<Piece> pieces_;
    std::vector<std::wstring> links_;  // targets
    DWORD linkColor_ = 0;
    DWORD linkHoverColor_ = 0;
    int hotLink_ = -1;
    int pressedLink_ = -1;
};

class Button : public Label {
public:
    std::wstring_view GetClass() const override { return L"Button"; }

    bool IsTabStop() const override { return tabStop_ && IsEnabled() && IsVisible(); }
    bool Activate() override;
    bool KeepsCaptionPress(POINT) const override { return true; }
    void DoEvent(ControlEvent& event) override;
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;
    bool IsHot() const { return hot_; }
    bool IsPushed() const { return pushed_; }
    void SetNormalImage(const std::wstring& image);

protected:
    void PaintBkColor(HDC dc) override;
    void PaintStatusImage(HDC dc) override;
    void PaintText(HDC dc) override;
    virtual DWORD StateTextColor() const;
    bool OnHighlight() const override;

    std::wstring normalImage_, hotImage_, pushedImage_, disabledImage_, focusedImage_, foreImage_, hotForeImage_;
    DWORD hotTextColor_ = 0, pushedTextColor_ = 0, focusedTextColor_ = 0;
    DWORD hotBkColor_ = 0, pushedBkColor_ = 0;
    bool hot_ = false;
    bool pushed_ = false;
    bool captured_ = false;
    bool handCursor_ = true;
    bool tabStop_ = true;
};

// A check box, or a radio option when it names a group.
class Option : public Button {
public:
    std::wstring_view GetClass() const override { return L"Option"; }

    bool IsSelected() const { return selected_; }
    // Unchanged state: nothing. Selecting clears the group's other options
    // silently; "selectchanged" goes out only when `notify` asks for it.
    void Selected(bool selected, bool notify = true);
    const std::wstring& GetGroup() const { return group_; }
    bool Activate() override;
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;

protected:
    void PaintBkColor(HDC dc) override;
    void PaintStatusImage(HDC dc) override;
    DWORD StateTextColor() const override;
    bool OnHighlight() const override;

private:
    std::wstring group_;
    std::wstring selectedImage_, selectedHotImage_;
    DWORD selectedTextColor_ = 0, selectedBkColor_ = 0;
    bool selected_ = false;
};

// A row of a list (a menu item): draws hot and selected looks, sends
// "itemclick" and "itemselect".
class ListElement : public Container {
public:
    std::wstring_view GetClass() const override { return L"ListElement"; }
    bool IsHot() const { return hot_; }
    // The highlight a hovering mouse gives; a menu moves it by keys too.
    void SetHot(bool hot);
    bool IsSelected() const { return selected_; }
    void Select(bool selected);
    bool Activate() override;
    Control* FindAt(POINT pt) override;
    void DoEvent(ControlEvent& event) override;
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;

protected:
    void PaintBkColor(HDC dc) override;
    void PaintBkImage(HDC dc) override;
    void PaintStatusImage(HDC dc) override;

private:
    std::wstring hotImage_, selectedImage_;
    DWORD hotBkColor_ = 0, selectedBkColor_ = 0;
    bool hot_ = false;
    bool selected_ = false;
    bool captured_ = false;
};

class List : public VerticalLayout {
public:
    std::wstring_view GetClass() const override { return L"List"; }
    int GetCurSel() const { return curSel_; }
    bool SelectItem(int index);

private:
    int curSel_ = -1;
};

// Plays the frames of a GIF background image on a timer of its own.
class Gif : public Control {
public:
    std::wstring_view GetClass() const override { return L"Gif"; }
    ~Gif() override;
    void DoInit() override;
    void DoEvent(ControlEvent& event) override;
    void SetVisible(bool visible) override;
    // A hidden container hides the animation too: it stops its timer.
    void SetInternVisible(bool visible) override;
    size_t CurrentFrame() const { return frame_; }
    size_t FrameCount() const { return image_ ? image_->frames.size() : 0; }

protected:
    void PaintBkImage(HDC dc) override;

private:
    void Schedule();
    std::shared_ptr<Image> image_;
    size_t frame_ = 0;
};

}  // namespace ui
