#include "ui/controls.h"

#include <algorithm>
#include <cwchar>

#include "ui/gdi.h"
#include "ui/paint_manager.h"
#include "ui/platform.h"

namespace ui {
namespace {

constexpr UINT kGifTimer = 1;

UINT ParseAlign(const std::wstring& v) {
    if (v == L"center") return DT_CENTER;
    if (v == L"right") return DT_RIGHT;
    return DT_LEFT;
}

UINT ParseVAlign(const std::wstring& v) {
    if (v == L"top") return DT_TOP;
    if (v == L"bottom") return DT_BOTTOM;
    return DT_VCENTER;
}

bool Visible(DWORD argb) { return (argb >> 24) != 0; }

void FillColor(HDC dc, const RECT& rc, DWORD argb) {
    if (!Visible(argb)) return;
    UniqueBrush brush(::CreateSolidBrush(ToColorRef(argb)));
    ::FillRect(dc, &rc, brush.get());
}

// A skin that shows this state by a colour shows it, in high contrast, by
// the highlight colour.
DWORD StateFill(DWORD argb) { return Visible(argb) && HighContrastOn() ? SystemColor(COLOR_HIGHLIGHT) : argb; }

}  // namespace

// ------------------------------------------------------------------ Label

void Label::SetTextColor(DWORD argb) {
    textColor_ = argb;
    Invalidate();
}

void Label::SetFont(int index) {
    font_ = index;
    Invalidate();
}

void Label::SetTextPadding(const RECT& rc) {
    textPadding_ = rc;
    Invalidate();
}

SIZE Label::MeasureText(const std::wstring& text) const {
    SIZE sz{};
    if (manager_ == nullptr) return sz;
    UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    SelectGuard font(dc.get(), manager_->GetFont(font_));
    if (text.empty()) {
        TEXTMETRICW tm{};
        ::GetTextMetricsW(dc.get(), &tm);
        sz.cy = tm.tmHeight;
        return sz;
    }
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &sz);
    return sz;
}

void Label::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"font") font_ = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    else if (name == L"textcolor") textColor_ = ParseColor(value);
    else if (name == L"disabledtextcolor") disabledTextColor_ = ParseColor(value);
    else if (name == L"align") align_ = ParseAlign(value);
    else if (name == L"valign") valign_ = ParseVAlign(value);
    else if (name == L"textpadding") ParseRect(value, &textPadding_);
    else if (name == L"multiline") multiline_ = ParseBool(value);
    else if (name == L"endellipsis") endEllipsis_ = ParseBool(value);
    else if (name == L"autocalcwidth") autoWidth_ = ParseBool(value);
    else Control::SetAttribute(name, value);
}

SIZE Label::EstimateSize(SIZE available) {
    SIZE sz = Control::EstimateSize(available);
    if (autoWidth_ && manager_ != nullptr) {
        RECT pad = GetTextPadding();
        sz.cx = MeasureText(GetText()).cx + pad.left + pad.right;
    }
    return sz;
}

bool Label::OnHighlight() const {
    return parent_ != nullptr && parent_->GetClass() == L"ListElement" && static_cast<ListElement*>(parent_)->IsHot();
}

DWORD Label::EffectiveColor(DWORD preferred) const {
    if (HighContrastOn()) {
        if (!IsEnabled()) return SystemColor(COLOR_GRAYTEXT);
        if (OnHighlight()) return SystemColor(COLOR_HIGHLIGHTTEXT);
        return SystemColor(GetAccessibleRole() == L"link" ? COLOR_HOTLIGHT : COLOR_WINDOWTEXT);
    }
    if (!IsEnabled()) {
        if (Visible(disabledTextColor_)) return disabledTextColor_;
        return manager_ ? manager_->GetDefaultDisabledColor() : 0xFFA0A0A0;
    }
    if (Visible(preferred)) return preferred;
    if (Visible(textColor_)) return textColor_;
    return manager_ ? manager_->GetDefaultTextColor() : 0xFF000000;
}

void Label::DrawLabelText(HDC dc, const std::wstring& text, DWORD color) {
    if (text.empty() || manager_ == nullptr) return;
    RECT pad = GetTextPadding();
    RECT rc{rect_.left + pad.left, rect_.top + pad.top, rect_.right - pad.right, rect_.bottom - pad.bottom};
    SelectGuard font(dc, manager_->GetFont(font_));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ToColorRef(color));
    UINT flags = align_ | DT_NOPREFIX;
    if (multiline_) {
        flags |= DT_WORDBREAK | DT_EDITCONTROL;
        if (valign_ != DT_TOP) {
            // DrawText centres single lines only; measure and place a block.
            RECT calc = rc;
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, flags | DT_CALCRECT);
            int h = calc.bottom - calc.top, free = (rc.bottom - rc.top) - h;
            if (free > 0) rc.top += valign_ == DT_BOTTOM ? free : free / 2;
        }
    } else {
        flags |= DT_SINGLELINE | valign_;
        if (endEllipsis_) flags |= DT_END_ELLIPSIS;
    }
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags);
}

void Label::PaintText(HDC dc) { DrawLabelText(dc, GetText(), EffectiveColor(0)); }

// ---------------------------------------------------------- FormattedText

void FormattedText::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"linkcolor") linkColor_ = ParseColor(value);
    else if (name == L"linkhovercolor") linkHoverColor_ = ParseColor(value);
    else Label::SetAttribute(name, value);
    if (name == L"text") Parse();
}

void FormattedText::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    hotLink_ = pressedLink_ = -1;
    Parse();
    Arrange();
    Invalidate();
}

void FormattedText::SetPos(const RECT& rc) {
    Label::SetPos(rc);
    Arrange();
}

void FormattedText::Parse() {
    runs_.clear();
    links_.clear();
    std::vector<DWORD> colors;
    int link = -1;
    std::wstring plain;
    auto flush = [&] {
        if (plain.empty()) return;
        Run r;
        r.text = plain;
        r.color = colors.empty() ? 0 : colors.back();
        r.link = link;
        runs_.push_back(std::move(r));
        plain.clear();
    };
    const std::wstring& t = text_;
    size_t i = 0;
    while (i < t.size()) {
        if (t[i] == L'<') {
            size_t close = t.find(L'>', i);
            if (close != std::wstring::npos) {
                std::wstring tag = t.substr(i + 1, close - i - 1);
                bool known = true;
                if (tag == L"n") {
                    flush();
                    Run r;
                    r.lineBreak = true;
                    runs_.push_back(r);
                } else if (tag.size() > 2 && tag[0] == L'c' && tag[1] == L' ') {
                    flush();
                    colors.push_back(ParseColor(tag.substr(2)));
                } else if (tag == L"/c") {
                    flush();
                    if (!colors.empty()) colors.pop_back();
                } else if (tag == L"a" || (tag.size() > 2 && tag[0] == L'a' && tag[1] == L' ')) {
                    flush();
                    link = static_cast<int>(links_.size());
                    links_.push_back(tag.size() > 2 ? tag.substr(2) : std::wstring());
                } else if (tag == L"/a") {
                    flush();
                    link = -1;
                } else {
                    known = false;
                }
                if (known) {
                    i = close + 1;
                    continue;
                }
            }
        }
        plain.push_back(t[i]);
        ++i;
    }
    flush();
    // Targetless links take their text.
    for (size_t l = 0; l < links_.size(); ++l) {
        if (!links_[l].empty()) continue;
        for (const Run& r : runs_) {
            if (r.link == static_cast<int>(l)) links_[l] += r.text;
        }
    }
}

void FormattedText::Arrange() {
    pieces_.clear();
    if (manager_ == nullptr) return;
    RECT pad = GetTextPadding();
    RECT area{rect_.left + pad.left, rect_.top + pad.top, rect_.right - pad.right, rect_.bottom - pad.bottom};
    const int width = std::max<int>(1, area.right - area.left);
    UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    SelectGuard font(dc.get(), manager_->GetFont(font_));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc.get(), &tm);
    const int lineHeight = tm.tmHeight;
    int x = 0, y = 0;
    for (const Run& run : runs_) {
        if (run.lineBreak) {
            x = 0;
            y += lineHeight;
            continue;
        }
        size_t start = 0;
        while (start < run.text.size()) {
            const int room = width - x;
            int fit = 0;
            SIZE sz{};
            const wchar_t* s = run.text.c_str() + start;
            const int len = static_cast<int>(run.text.size() - start);
            ::GetTextExtentExPointW(dc.get(), s, len, room, &fit, nullptr, &sz);
            if (fit <= 0) {
                if (x > 0) {  // nothing fits after earlier pieces: next line
                    x = 0;
                    y += lineHeight;
                    continue;
                }
                fit = 1;  // a glyph wider than the line still takes a line
            }
            if (fit < len && multiline_) {
                // Prefer to break Latin text at a space.
                int space = fit;
                while (space > 0 && s[space - 1] != L' ' && s[space] < 0x2E80) --space;
                if (space > 0) fit = space;
            }
            SIZE part{};
            ::GetTextExtentPoint32W(dc.get(), s, fit, &part);
            Piece p;
            p.text.assign(s, static_cast<size_t>(fit));
            p.color = run.color;
            p.link = run.link;
            p.rc = RECT{area.left + x, area.top + y, area.left + x + part.cx, area.top + y + lineHeight};
            pieces_.push_back(std::move(p));
            start += static_cast<size_t>(fit);
            x += part.cx;
            if (start < run.text.size()) {
                if (!multiline_) break;  // one line: the rest is clipped
                x = 0;
                y += lineHeight;
            }
        }
    }
    // Centre the block vertically unless asked for the top.
    const int total = y + lineHeight;
    int shift = 0;
    if (valign_ == DT_VCENTER) shift = std::max<int>(0, ((area.bottom - area.top) - total) / 2);
    else if (valign_ == DT_BOTTOM) shift = std::max<int>(0, (area.bottom - area.top) - total);
    for (Piece& p : pieces_) ::OffsetRect(&p.rc, 0, shift);
}

void FormattedText::PaintText(HDC dc) {
    if (manager_ == nullptr) return;
    HFONT base = manager_->GetFont(font_);
    LOGFONTW lf{};
    ::GetObjectW(base, sizeof(lf), &lf);
    lf.lfUnderline = TRUE;
    UniqueFont underlined(::CreateFontIndirectW(&lf));
    ::SetBkMode(dc, TRANSPARENT);
    const DWORD link = Visible(linkColor_) ? linkColor_ : manager_->GetDefaultLinkColor();
    const DWORD linkHot = Visible(linkHoverColor_) ? linkHoverColor_ : manager_->GetDefaultLinkHoverColor();
    for (const Piece& p : pieces_) {
        DWORD color = EffectiveColor(p.color);
        if (p.link >= 0 && IsEnabled() && HighContrastOn()) color = SystemColor(COLOR_HOTLIGHT);
        else if (p.link >= 0 && IsEnabled() && !Visible(p.color)) color = p.link == hotLink_ ? linkHot : link;
        SelectGuard f(dc, p.link >= 0 && p.link == hotLink_ ? underlined.get() : base);
        ::SetTextColor(dc, ToColorRef(color));
        RECT rc = p.rc;
        ::DrawTextW(dc, p.text.c_str(), static_cast<int>(p.text.size()), &rc, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    }
}

int FormattedText::LinkAt(POINT pt) const {
    for (const Piece& p : pieces_) {
        if (p.link >= 0 && ::PtInRect(&p.rc, pt)) return p.link;
    }
    return -1;
}

RECT FormattedText::GetLinkRect(int index) const {
    for (const Piece& p : pieces_) {
        if (p.link == index) return p.rc;
    }
    return RECT{};
}

std::wstring FormattedText::GetLinkContent(int index) const {
    if (index < 0 || index >= static_cast<int>(links_.size())) return {};
    return links_[static_cast<size_t>(index)];
}

std::wstring FormattedText::GetPlainText() const {
    std::wstring out;
    for (const Run& r : runs_) out += r.lineBreak ? std::wstring(L"\n") : r.text;
    return out;
}

std::wstring FormattedText::GetLinkText(int index) const {
    std::wstring out;
    for (const Run& r : runs_) {
        if (r.link == index && index >= 0) out += r.text;
    }
    return out;
}

bool FormattedText::ActivateLink(int index) {
    if (index < 0 || index >= GetLinkCount() || !Control::Activate()) return false;
    SendNotify(L"link", static_cast<WPARAM>(index));
    return true;
}

void FormattedText::DoEvent(ControlEvent& event) {
    switch (event.type) {
        case EventType::MouseMove:
        case EventType::MouseEnter: {
            int hot = LinkAt(event.pt);
            if (hot != hotLink_) {
                hotLink_ = hot;
                Invalidate();
            }
            return;
        }
        case EventType::MouseLeave:
            if (hotLink_ != -1) {
                hotLink_ = -1;
                Invalidate();
            }
            return;
        case EventType::SetCursor:
            ::SetCursor(::LoadCursorW(nullptr, LinkAt(event.pt) >= 0 && IsEnabled() ? IDC_HAND : IDC_ARROW));
            return;
        case EventType::ButtonDown:
        case EventType::DoubleClick:
            pressedLink_ = IsEnabled() ? LinkAt(event.pt) : -1;
            if (pressedLink_ < 0) break;
            return;
        case EventType::ButtonUp: {
            int link = LinkAt(event.pt);
            bool hit = link >= 0 && link == pressedLink_;
            pressedLink_ = -1;
            if (hit) ActivateLink(link);
            if (hit || link >= 0) return;
            break;
        }
        default:
            break;
    }
    Label::DoEvent(event);
}

// ----------------------------------------------------------------- Button

void Button::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"normalimage") normalImage_ = value;
    else if (name == L"hotimage") hotImage_ = value;
    else if (name == L"pushedimage") pushedImage_ = value;
    else if (name == L"disabledimage") disabledImage_ = value;
    else if (name == L"focusedimage") focusedImage_ = value;
    else if (name == L"foreimage") foreImage_ = value;
    else if (name == L"hotforeimage") hotForeImage_ = value;
    else if (name == L"hottextcolor") hotTextColor_ = ParseColor(value);
    else if (name == L"pushedtextcolor") pushedTextColor_ = ParseColor(value);
    else if (name == L"focusedtextcolor") focusedTextColor_ = ParseColor(value);
    else if (name == L"hotbkcolor") hotBkColor_ = ParseColor(value);
    else if (name == L"pushedbkcolor") pushedBkColor_ = ParseColor(value);
    else if (name == L"handcursor") handCursor_ = ParseBool(value);
    else if (name == L"tabstop") tabStop_ = ParseBool(value);
    else Label::SetAttribute(name, value);
}

void Button::SetNormalImage(const std::wstring& image) {
    normalImage_ = image;
    Invalidate();
}

bool Button::Activate() {
    if (!Control::Activate()) return false;
    SendNotify(L"click");
    return true;
}

void Button::DoEvent(ControlEvent& event) {
    if (!IsEnabled() && event.type != EventType::MouseLeave && event.type != EventType::SetCursor) {
        if (event.type == EventType::ButtonDown || event.type == EventType::ButtonUp) return;
    }
    switch (event.type) {
        case EventType::MouseEnter:
            hot_ = true;
            Invalidate();
            return;
        case EventType::MouseLeave:
            hot_ = false;
            pushed_ = false;
            Invalidate();
            return;
        case EventType::ButtonDown:
        case EventType::DoubleClick:
            captured_ = pushed_ = true;
            Invalidate();
            return;
        case EventType::MouseMove:
            if (captured_) {
                bool inside = ::PtInRect(&rect_, event.pt) != FALSE;
                if (inside != pushed_) {
                    pushed_ = inside;
                    Invalidate();
                }
            }
            return;
        case EventType::ButtonUp: {
            bool inside = captured_ && ::PtInRect(&rect_, event.pt);
            captured_ = pushed_ = false;
            Invalidate();
            if (inside) Activate();
            return;
        }
        case EventType::KeyDown:
            if (event.wParam == VK_SPACE || event.wParam == VK_RETURN) {
                Activate();
                return;
            }
            break;
        case EventType::SetCursor:
            ::SetCursor(::LoadCursorW(nullptr, handCursor_ && IsEnabled() ? IDC_HAND : IDC_ARROW));
            return;
        case EventType::SetFocus:
        case EventType::KillFocus:
            Invalidate();
            return;
        default:
            break;
    }
    Label::DoEvent(event);
}

bool Button::OnHighlight() const { return IsEnabled() && (hot_ || pushed_); }

void Button::PaintBkColor(HDC dc) {
    if (HighContrastOn() && OnHighlight()) {
        FillBk(dc, SystemColor(COLOR_HIGHLIGHT));
        return;
    }
    DWORD color = bkColor_;
    if (IsEnabled()) {
        if (pushed_ && Visible(pushedBkColor_)) color = pushedBkColor_;
        else if ((hot_ || pushed_) && Visible(hotBkColor_)) color = hotBkColor_;
    }
    DWORD saved = bkColor_;
    bkColor_ = color;
    Control::PaintBkColor(dc);
    bkColor_ = saved;
}

void Button::PaintStatusImage(HDC dc) {
    const std::wstring* image = &normalImage_;
    if (!IsEnabled()) {
        if (!disabledImage_.empty()) image = &disabledImage_;
    } else if (pushed_ && !pushedImage_.empty()) {
        image = &pushedImage_;
    } else if ((hot_ || pushed_) && !hotImage_.empty()) {
        image = &hotImage_;
    } else if (IsFocused() && !focusedImage_.empty()) {
        image = &focusedImage_;
    }
    DrawImageAttribute(dc, *image);
    if (hot_ && !hotForeImage_.empty()) DrawImageAttribute(dc, hotForeImage_);
    else DrawImageAttribute(dc, foreImage_);
}

DWORD Button::StateTextColor() const {
    if (pushed_ && Visible(pushedTextColor_)) return pushedTextColor_;
    if ((hot_ || pushed_) && Visible(hotTextColor_)) return hotTextColor_;
    if (IsFocused() && Visible(focusedTextColor_)) return focusedTextColor_;
    return textColor_;
}

void Button::PaintText(HDC dc) { DrawLabelText(dc, GetText(), EffectiveColor(StateTextColor())); }

// ----------------------------------------------------------------- Option

void Option::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"group") group_ = value;
    else if (name == L"selected") selected_ = ParseBool(value);
    else if (name == L"selectedimage") selectedImage_ = value;
    else if (name == L"selectedhotimage") selectedHotImage_ = value;
    else if (name == L"selectedtextcolor") selectedTextColor_ = ParseColor(value);
    else if (name == L"selectedbkcolor") selectedBkColor_ = ParseColor(value);
    else Button::SetAttribute(name, value);
}

void Option::Selected(bool selected, bool notify) {
    if (selected == selected_) return;
    selected_ = selected;
    Invalidate();
    if (manager_ != nullptr) manager_->RaiseAccessibleEvent(EVENT_OBJECT_STATECHANGE, this);
    if (selected_ && !group_.empty() && manager_ != nullptr && manager_->GetRoot() != nullptr) {
        manager_->GetRoot()->ForEach([this](Control* c) {
            if (c == this || c->GetClass() != L"Option") return;
            auto* other = static_cast<Option*>(c);
            if (other->group_ == group_ && other->selected_) {
                other->selected_ = false;
                other->Invalidate();
                manager_->RaiseAccessibleEvent(EVENT_OBJECT_STATECHANGE, other);
            }
        });
    }
    // A radio option going out is not news; its partner coming in is.
    if (notify && (selected_ || group_.empty())) SendNotify(L"selectchanged");
}

bool Option::Activate() {
    if (!Control::Activate()) return false;
    SendNotify(L"click");
    if (!group_.empty()) Selected(true, true);
    else Selected(!selected_, true);
    return true;
}

bool Option::OnHighlight() const {
    return Button::OnHighlight() || (IsEnabled() && selected_ && Visible(selectedBkColor_));
}

void Option::PaintBkColor(HDC dc) {
    if (selected_ && Visible(selectedBkColor_) && !(HighContrastOn() && Button::OnHighlight())) {
        FillColor(dc, rect_, StateFill(selectedBkColor_));
        return;
    }
    Button::PaintBkColor(dc);
}

void Option::PaintStatusImage(HDC dc) {
    if (selected_ && IsEnabled()) {
        if (hot_ && !selectedHotImage_.empty()) {
            DrawImageAttribute(dc, selectedHotImage_);
            return;
        }
        if (!selectedImage_.empty()) {
            DrawImageAttribute(dc, selectedImage_);
            return;
        }
    }
    Button::PaintStatusImage(dc);
}

DWORD Option::StateTextColor() const {
    if (selected_ && Visible(selectedTextColor_)) return selectedTextColor_;
    return Button::StateTextColor();
}

// ------------------------------------------------------ List, ListElement

void ListElement::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"hotimage") hotImage_ = value;
    else if (name == L"selectedimage") selectedImage_ = value;
    else if (name == L"hotbkcolor") hotBkColor_ = ParseColor(value);
    else if (name == L"selectedbkcolor") selectedBkColor_ = ParseColor(value);
    else Container::SetAttribute(name, value);
}

void ListElement::SetHot(bool hot) {
    if (hot_ == hot) return;
    hot_ = hot;
    Invalidate();
}

void ListElement::Select(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    Invalidate();
}

Control* ListElement::FindAt(POINT pt) {
    // The element takes the mouse for everything inside it.
    if (!IsVisible() || !mouseEnabled_ || !::PtInRect(&rect_, pt)) return nullptr;
    return this;
}

bool ListElement::Activate() {
    if (!Control::Activate() || !mouseEnabled_) return false;
    SendNotify(L"itemclick");
    if (parent_ != nullptr && parent_->GetClass() == L"List") {
        auto* list = static_cast<List*>(parent_);
        list->SelectItem(list->GetItemIndex(this));
    }
    return true;
}

void ListElement::DoEvent(ControlEvent& event) {
    switch (event.type) {
        case EventType::MouseEnter:
            hot_ = true;
            Invalidate();
            return;
        case EventType::MouseLeave:
            hot_ = false;
            Invalidate();
            return;
        case EventType::ButtonDown:
        case EventType::DoubleClick:
            captured_ = true;
            return;
        case EventType::ButtonUp: {
            bool inside = captured_ && ::PtInRect(&rect_, event.pt);
            captured_ = false;
            if (inside) Activate();
            return;
        }
        case EventType::KeyDown:
            if (event.wParam == VK_RETURN) {
                Activate();
                return;
            }
            break;
        default:
            break;
    }
    Container::DoEvent(event);
}

void ListElement::PaintBkColor(HDC dc) {
    if (IsEnabled() && mouseEnabled_) {
        if (hot_ && (Visible(hotBkColor_) || HighContrastOn())) {
            FillColor(dc, rect_, HighContrastOn() ? SystemColor(COLOR_HIGHLIGHT) : hotBkColor_);
            return;
        }
        if (selected_ && Visible(selectedBkColor_)) {
            FillColor(dc, rect_, StateFill(selectedBkColor_));
            return;
        }
    }
    Container::PaintBkColor(dc);
}

void ListElement::PaintBkImage(HDC dc) {
    // A disabled item's picture is greyed out with its text.
    DrawImageAttribute(dc, bkImage_, IsEnabled() && mouseEnabled_ ? 255 : 90);
}

void ListElement::PaintStatusImage(HDC dc) {
    if (!IsEnabled() || !mouseEnabled_) return;
    if (hot_ && !hotImage_.empty()) DrawImageAttribute(dc, hotImage_);
    else if (selected_ && !selectedImage_.empty()) DrawImageAttribute(dc, selectedImage_);
}

bool List::SelectItem(int index) {
    Control* item = GetItemAt(index);
    if (item == nullptr || item->GetClass() != L"ListElement") return false;
    if (Control* old = GetItemAt(curSel_); old != nullptr && old->GetClass() == L"ListElement") {
        static_cast<ListElement*>(old)->Select(false);
    }
    curSel_ = index;
    static_cast<ListElement*>(item)->Select(true);
    if (manager_ != nullptr) manager_->SendNotify(item, L"itemselect", static_cast<WPARAM>(index));
    return true;
}

// -------------------------------------------------------------------- Gif

Gif::~Gif() {
    if (manager_ != nullptr) manager_->KillTimer(this, kGifTimer);
}

void Gif::DoInit() {
    ImageSpec attr;
    if (manager_ != nullptr && ParseImageSpec(bkImage_, &attr)) image_ = manager_->GetImage(attr.file);
    frame_ = 0;
    Schedule();
}

void Gif::Schedule() {
    if (manager_ == nullptr || !image_ || image_->frames.size() < 2 || !IsVisible()) return;
    manager_->SetTimer(this, kGifTimer, image_->frames[frame_].delayMs);
}

void Gif::SetVisible(bool visible) {
    Control::SetVisible(visible);
    if (manager_ == nullptr) return;
    if (IsVisible()) Schedule();
    else manager_->KillTimer(this, kGifTimer);
}

void Gif::SetInternVisible(bool visible) {
    Control::SetInternVisible(visible);
    if (manager_ == nullptr) return;
    if (IsVisible()) Schedule();
    else manager_->KillTimer(this, kGifTimer);
}

void Gif::DoEvent(ControlEvent& event) {
    if (event.type == EventType::Timer && image_ && !image_->frames.empty()) {
        manager_->KillTimer(this, kGifTimer);
        frame_ = (frame_ + 1) % image_->frames.size();
        Invalidate();
        Schedule();
        return;
    }
    Control::DoEvent(event);
}

void Gif::PaintBkImage(HDC dc) {
    if (!image_) return;
    DrawImage(dc, *image_, frame_, rect_, RECT{0, 0, image_->width, image_->height}, RECT{}, 100, 255);
}

}  // namespace ui
