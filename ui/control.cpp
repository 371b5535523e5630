#include "ui/control.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "ui/gdi.h"
#include "ui/image.h"
#include "ui/paint_manager.h"
#include "ui/platform.h"

namespace ui {

DWORD ParseColor(const std::wstring& text) {
    const wchar_t* p = text.c_str();
    while (*p == L' ') ++p;
    if (*p == L'#') ++p;
    else if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) p += 2;
    size_t digits = 0;
    while (std::iswxdigit(p[digits])) ++digits;
    if (digits != 6 && digits != 8) return 0;
    DWORD value = static_cast<DWORD>(std::wcstoul(std::wstring(p, digits).c_str(), nullptr, 16));
    return digits == 6 ? (0xFF000000u | value) : value;
}

bool ParseRect(const std::wstring& text, RECT* rc) {
    long v[4] = {};
    const wchar_t* p = text.c_str();
    for (int i = 0; i < 4; ++i) {
        wchar_t* end = nullptr;
        v[i] = std::wcstol(p, &end, 10);
        if (end == p) return false;
        p = end;
        while (*p == L',' || *p == L' ') ++p;
    }
    *rc = RECT{v[0], v[1], v[2], v[3]};
    return true;
}

bool ParseSize(const std::wstring& text, SIZE* sz) {
    const wchar_t* p = text.c_str();
    wchar_t* end = nullptr;
    long cx = std::wcstol(p, &end, 10);
    if (end == p) return false;
    p = end;
    while (*p == L',' || *p == L' ') ++p;
    long cy = std::wcstol(p, &end, 10);
    if (end == p) return false;
    *sz = SIZE{cx, cy};
    return true;
}

bool ParseBool(const std::wstring& text) { return text == L"true" || text == L"1"; }

static int ParseInt(const std::wstring& text) { return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10)); }

// ---------------------------------------------------------------- Control

Control::~Control() {
    if (manager_ != nullptr) manager_->ReapObjects(this);
}

int Control::Scale(int units) const { return manager_ ? manager_->Scale(units) : units; }

int Control::Unscale(int pixels) const {
    UINT dpi = manager_ ? manager_->GetDpi() : 96;
    return dpi == 96 ? pixels : ::MulDiv(pixels, 96, static_cast<int>(dpi));
}

RECT Control::ScaleRect(const RECT& rc) const {
    return RECT{Scale(rc.left), Scale(rc.top), Scale(rc.right), Scale(rc.bottom)};
}

void Control::SetText(const std::wstring& text) {
    if (text_ == text) return;
    text_ = text;
    Invalidate();
}

void Control::SetVisible(bool visible) {
    if (visible_ == visible) return;
    const bool was = IsVisible();
    visible_ = visible;
    if (!IsVisible() && IsFocused() && manager_) manager_->SetFocus(nullptr);
    if (was != IsVisible()) VisibilityChanged();
}

void Control::VisibilityChanged() {
    NeedParentUpdate();
    if (manager_ != nullptr) manager_->SyncNativeWindows();
}

bool Control::IsCovered(const RECT& area) const {
    if (::IsRectEmpty(&area)) return false;
    for (const Control* c = this; c->parent_ != nullptr; c = c->parent_) {
        const auto* box = dynamic_cast<const Container*>(c->parent_);
        if (box == nullptr) continue;
        // Siblings after this one are drawn above it; in a stacking layout
        // only floats and overflowing neighbours can overlap.
        for (int i = box->GetItemIndex(c) + 1; i < box->GetCount(); ++i) {
            const Control* above = box->GetItemAt(i);
            if (!above->IsVisible()) continue;
            if (!above->IsFloat() && dynamic_cast<const Container*>(above) == nullptr) continue;
            RECT overlap;
            if (::IntersectRect(&overlap, &area, &above->GetPos())) return true;
        }
    }
    return false;
}

void Control::SetInternVisible(bool visible) {
    internVisible_ = visible;
    if (!IsVisible() && IsFocused() && manager_) manager_->SetFocus(nullptr);
}

void Control::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Invalidate();
}

void Control::SetFloat(bool f) {
    if (float_ == f) return;
    float_ = f;
    NeedParentUpdate();
}

void Control::SetFocus() {
    if (manager_ != nullptr) manager_->SetFocus(this);
}

bool Control::IsFocused() const { return manager_ != nullptr && manager_->GetFocus() == this; }

void Control::SetToolTip(const std::wstring& text) {
    tooltip_ = text;
    if (manager_ != nullptr) manager_->SetToolTipText(this);
}

bool Control::SetBkImage(const std::wstring& image) {
    if (bkImage_ == image) return false;
    bkImage_ = image;
    Invalidate();
    return true;
}

void Control::SetBkColor(DWORD argb) {
    bkColor_ = argb;
    Invalidate();
}

void Control::SetBorderColor(DWORD argb) {
    borderColor_ = argb;
    Invalidate();
}

void Control::SetBorderSize(int size) {
    borderSize_ = size;
    Invalidate();
}

void Control::Invalidate() {
    if (manager_ != nullptr && IsVisible()) manager_->Invalidate(rect_);
}

void Control::NeedParentUpdate() {
    if (parent_ != nullptr) parent_->NeedUpdate();
    else NeedUpdate();
}

void Control::NeedUpdate() {
    if (manager_ != nullptr) manager_->NeedUpdate();
}

void Control::SetPos(const RECT& rc) {
    RECT r = rc;
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    if (manager_ != nullptr && !::EqualRect(&r, &rect_)) {
        manager_->Invalidate(rect_);
        manager_->Invalidate(r);
    }
    rect_ = r;
    // Moved by code rather than by its container: remember where.
    if (float_ && !placing_ && parent_ != nullptr) {
        const RECT& p = parent_->GetPos();
        floatPos_ = RECT{Unscale(r.left - p.left), Unscale(r.top - p.top), Unscale(r.right - p.left),
                         Unscale(r.bottom - p.top)};
    }
}

void Control::SetFixedWidth(int cx) {
    if (cx < 0) return;
    fixed_.cx = Unscale(cx);
    if (float_) floatPos_.right = floatPos_.left + fixed_.cx;
    NeedParentUpdate();
}

void Control::SetFixedHeight(int cy) {
    if (cy < 0) return;
    fixed_.cy = Unscale(cy);
    if (float_) floatPos_.bottom = floatPos_.top + fixed_.cy;
    NeedParentUpdate();
}

void Control::SetMinHeight(int cy) {
    minSize_.cy = Unscale(cy);
    NeedParentUpdate();
}

RECT Control::GetPadding() const { return ScaleRect(padding_); }

void Control::SetPadding(const RECT& rc) {
    padding_ = rc;
    NeedParentUpdate();
}

RECT Control::GetFloatPos() const { return ScaleRect(floatPos_); }

SIZE Control::EstimateSize(SIZE) { return SIZE{GetFixedWidth(), GetFixedHeight()}; }

void Control::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"name") name_ = value;
    else if (name == L"text") text_ = value;
    else if (name == L"tooltip") tooltip_ = value;
    else if (name == L"userdata") userData_ = value;
    else if (name == L"visible") visible_ = ParseBool(value);
    else if (name == L"enabled") enabled_ = ParseBool(value);
    else if (name == L"mouse") mouseEnabled_ = ParseBool(value);
    else if (name == L"float") float_ = ParseBool(value);
    else if (name == L"menu") contextMenu_ = ParseBool(value);
    else if (name == L"width") fixed_.cx = ParseInt(value);
    else if (name == L"height") fixed_.cy = ParseInt(value);
    else if (name == L"minwidth") minSize_.cx = ParseInt(value);
    else if (name == L"minheight") minSize_.cy = ParseInt(value);
    else if (name == L"maxwidth") maxSize_.cx = ParseInt(value);
    else if (name == L"maxheight") maxSize_.cy = ParseInt(value);
    else if (name == L"padding") ParseRect(value, &padding_);
    else if (name == L"bkcolor") bkColor_ = ParseColor(value);
    else if (name == L"bordercolor") borderColor_ = ParseColor(value);
    else if (name == L"bordersize") borderSize_ = ParseInt(value);
    else if (name == L"borderround") ParseSize(value, &borderRound_);
    else if (name == L"bkimage") bkImage_ = value;
    else if (name == L"accname") accName_ = value;
    else if (name == L"accrole") accRole_ = value;
    else if (name == L"shortcut") shortcut_ = value.empty() ? 0 : static_cast<wchar_t>(std::towupper(value[0]));
    else if (name == L"pos") {
        RECT rc{};
        if (ParseRect(value, &rc)) {
            floatPos_ = rc;
            fixed_.cx = rc.right - rc.left;
            fixed_.cy = rc.bottom - rc.top;
        }
    }
}

void Control::DoPaint(HDC dc, const RECT& dirty) {
    RECT clip;
    if (!::IntersectRect(&clip, &dirty, &rect_)) return;
    PaintBkColor(dc);
    PaintBkImage(dc);
    PaintStatusImage(dc);
    PaintText(dc);
    PaintBorder(dc);
    PaintFocusMark(dc);
}

void Control::PaintFocusMark(HDC dc) {
    // Native boxes show their own caret.
    if (manager_ == nullptr || !IsFocused() || NativeHandle() != nullptr || !manager_->FocusCuesShown()) return;
    RECT rc = rect_;
    ::InflateRect(&rc, -Scale(2), -Scale(2));
    if (rc.right - rc.left < 2 || rc.bottom - rc.top < 2) return;
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::DrawFocusRect(dc, &rc);
}

void Control::PaintBkColor(HDC dc) {
    if ((bkColor_ >> 24) == 0) return;
    FillBk(dc, HighContrastOn() ? SystemColor(COLOR_WINDOW) : bkColor_);
}

void Control::FillBk(HDC dc, DWORD argb) {
    UniqueBrush brush(::CreateSolidBrush(ToColorRef(argb)));
    if (borderRound_.cx > 0 || borderRound_.cy > 0) {
        SelectGuard b(dc, brush.get());
        SelectGuard p(dc, ::GetStockObject(NULL_PEN));
        ::RoundRect(dc, rect_.left, rect_.top, rect_.right + 1, rect_.bottom + 1, Scale(borderRound_.cx),
                    Scale(borderRound_.cy));
    } else {
        ::FillRect(dc, &rect_, brush.get());
    }
}

void Control::PaintBkImage(HDC dc) {
    if (bkImage_.empty()) return;
    ImageSpec attr;
    if (HighContrastOn() && ParseImageSpec(bkImage_, &attr) && !::IsRectEmpty(&attr.corner)) {
        // A stretched background (a bubble, a strip) gives way to a plain
        // fill and frame in the system's colours; pictures stay.
        FillBk(dc, SystemColor(COLOR_WINDOW));
        UniqueBrush frame(::CreateSolidBrush(::GetSysColor(COLOR_WINDOWTEXT)));
        ::FrameRect(dc, &rect_, frame.get());
        return;
    }
    if (borderRound_.cx > 0 || borderRound_.cy > 0) {
        // A rounded control shows its picture through the same outline, as
        // a user's picture inside its round frame.
        UniqueRegion outline(::CreateRoundRectRgn(rect_.left, rect_.top, rect_.right + 1, rect_.bottom + 1,
                                                  Scale(borderRound_.cx), Scale(borderRound_.cy)));
        SavedDC saved(dc);
        if (outline) ::ExtSelectClipRgn(dc, outline.get(), RGN_AND);
        DrawImageAttribute(dc, bkImage_);
        return;
    }
    DrawImageAttribute(dc, bkImage_);
}

void Control::PaintBorder(HDC dc) {
    if ((borderColor_ >> 24) == 0 || borderSize_ <= 0) return;
    const DWORD color = HighContrastOn() ? SystemColor(COLOR_WINDOWTEXT) : borderColor_;
    UniquePen pen(::CreatePen(PS_SOLID | PS_INSIDEFRAME, Scale(borderSize_), ToColorRef(color)));
    SelectGuard p(dc, pen.get());
    SelectGuard b(dc, ::GetStockObject(NULL_BRUSH));
    if (borderRound_.cx > 0 || borderRound_.cy > 0) {
        ::RoundRect(dc, rect_.left, rect_.top, rect_.right, rect_.bottom, Scale(borderRound_.cx),
                    Scale(borderRound_.cy));
    } else {
        ::Rectangle(dc, rect_.left, rect_.top, rect_.right, rect_.bottom);
    }
}

bool Control::DrawImageAttribute(HDC dc, const std::wstring& text, BYTE fade) {
    if (manager_ == nullptr || text.empty()) return false;
    ImageSpec attr;
    if (!ParseImageSpec(text, &attr)) return false;
    auto image = manager_->GetImage(attr.file);
    if (!image) return false;
    RECT dest = rect_;
    if (attr.hasDest) {
        RECT d = ScaleRect(attr.dest);
        dest = RECT{rect_.left + d.left, rect_.top + d.top, rect_.left + d.right, rect_.top + d.bottom};
    }
    RECT source = attr.hasSource ? attr.source : RECT{0, 0, image->width, image->height};
    const int percent = static_cast<int>(manager_->GetDpi() * 100 / 96);
    DrawImage(dc, *image, 0, dest, source, attr.corner, percent, static_cast<BYTE>(attr.fade * fade / 255));
    return true;
}

void Control::DoEvent(ControlEvent& event) {
    // Unhandled input goes to the container, as a click on a label in a
    // list element selects the element.
    switch (event.type) {
        case EventType::SetCursor:
            ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            return;
        case EventType::SetFocus:
        case EventType::KillFocus:
        case EventType::MouseEnter:
        case EventType::MouseLeave:
        case EventType::Timer:
            return;
        default:
            break;
    }
    if (parent_ != nullptr) parent_->DoEvent(event);
}

Control* Control::FindAt(POINT pt) {
    if (!IsVisible() || !mouseEnabled_) return nullptr;
    return ::PtInRect(&rect_, pt) ? this : nullptr;
}

Control* Control::FindByName(std::wstring_view name) { return !name.empty() && name_ == name ? this : nullptr; }

void Control::ForEach(const std::function<void(Control*)>& fn) { fn(this); }

void Control::SetManager(PaintManager* manager, Control* parent) {
    manager_ = manager;
    parent_ = parent;
}

bool Control::Activate() { return IsVisible() && IsEnabled(); }

LONG Control::AccessibleId() const {
    static LONG last = 0;
    if (accId_ == 0) accId_ = --last;
    return accId_;
}

void Control::AddListener(INotifyListener* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void Control::RemoveListener(INotifyListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void Control::SendNotify(const wchar_t* type, WPARAM wParam, LPARAM lParam, bool async) {
    if (manager_ != nullptr) manager_->SendNotify(this, type, wParam, lParam, async);
}

// -------------------------------------------------------------- Container

bool Container::Add(std::unique_ptr<Control> child) { return AddAt(std::move(child), GetCount()); }

bool Container::AddAt(std::unique_ptr<Control> child, int index) {
    if (!child || index < 0 || index > GetCount()) return false;
    Control* raw = child.get();
    items_.insert(items_.begin() + index, std::move(child));
    raw->SetManager(manager_, this);
    raw->SetInternVisible(IsVisible());
    if (manager_ != nullptr && manager_->GetRoot() != nullptr) raw->ForEach([](Control* c) { c->DoInit(); });
    NeedUpdate();
    return true;
}

bool Container::Remove(Control* child) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->get() == child) {
            std::unique_ptr<Control> gone = std::move(*it);
            items_.erase(it);
            NeedUpdate();
            return true;  // `gone` reaps itself from the manager
        }
    }
    return false;
}

void Container::RemoveAll() {
    auto gone = std::move(items_);
    items_.clear();
    NeedUpdate();
}

Control* Container::GetItemAt(int index) const {
    return index >= 0 && index < GetCount() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

int Container::GetItemIndex(const Control* child) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() == child) return static_cast<int>(i);
    }
    return -1;
}

RECT Container::GetInset() const { return ScaleRect(inset_); }

void Container::SetInset(const RECT& rc) {
    inset_ = rc;
    NeedUpdate();
}

void Container::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"inset") ParseRect(value, &inset_);
    else if (name == L"childpadding") childPadding_ = ParseInt(value);
    else Control::SetAttribute(name, value);
}

RECT Container::InnerRect() const {
    RECT inset = GetInset();
    RECT rc = rect_;
    rc.left += inset.left;
    rc.top += inset.top;
    rc.right -= inset.right;
    rc.bottom -= inset.bottom;
    if (rc.right < rc.left) rc.right = rc.left;
    if (rc.bottom < rc.top) rc.bottom = rc.top;
    return rc;
}

void Container::PlaceChild(Control* child, const RECT& rc) {
    child->placing_ = true;
    child->SetPos(rc);
    child->placing_ = false;
}

void Container::PlaceFloat(Control* child) {
    RECT f = child->GetFloatPos();
    PlaceChild(child, RECT{rect_.left + f.left, rect_.top + f.top, rect_.left + f.right, rect_.top + f.bottom});
}

void Container::SetPos(const RECT& rc) {
    Control::SetPos(rc);
    const RECT inner = InnerRect();
    for (auto& item : items_) {
        Control* c = item.get();
        if (!c->IsVisible()) continue;
        if (c->IsFloat()) {
            PlaceFloat(c);
            continue;
        }
        RECT pad = c->GetPadding();
        RECT r{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom};
        SIZE want = c->EstimateSize(SIZE{r.right - r.left, r.bottom - r.top});
        if (want.cx > 0 && want.cx < r.right - r.left) r.right = r.left + want.cx;
        if (want.cy > 0 && want.cy < r.bottom - r.top) r.bottom = r.top + want.cy;
        PlaceChild(c, r);
    }
}

void Container::DoPaint(HDC dc, const RECT& dirty) {
    RECT clip;
    if (!::IntersectRect(&clip, &dirty, &rect_)) return;
    Control::DoPaint(dc, dirty);
    SavedDC saved(dc);
    ::IntersectClipRect(dc, rect_.left, rect_.top, rect_.right, rect_.bottom);
    for (auto& item : items_) {
        if (item->IsVisible()) item->DoPaint(dc, clip);
    }
}

Control* Container::FindAt(POINT pt) {
    if (!IsVisible() || !::PtInRect(&rect_, pt)) return nullptr;
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        if (Control* hit = (*it)->FindAt(pt)) return hit;
    }
    return mouseEnabled_ ? this : nullptr;
}

Control* Container::FindByName(std::wstring_view name) {
    if (Control* self = Control::FindByName(name)) return self;
    for (auto& item : items_) {
        if (Control* hit = item->FindByName(name)) return hit;
    }
    return nullptr;
}

void Container::ForEach(const std::function<void(Control*)>& fn) {
    fn(this);
    for (auto& item : items_) item->ForEach(fn);
}

void Container::SetManager(PaintManager* manager, Control* parent) {
    Control::SetManager(manager, parent);
    for (auto& item : items_) item->SetManager(manager, this);
}

void Container::SetInternVisible(bool visible) {
    Control::SetInternVisible(visible);
    for (auto& item : items_) item->SetInternVisible(IsVisible());
}

void Container::SetVisible(bool visible) {
    if (visible_ == visible) return;
    const bool was = IsVisible();
    visible_ = visible;
    // The children first, so native windows inside see the new state.
    for (auto& item : items_) item->SetInternVisible(IsVisible());
    if (!IsVisible() && IsFocused() && manager_) manager_->SetFocus(nullptr);
    if (was != IsVisible()) VisibilityChanged();
}

void Container::SetEnabled(bool enabled) {
    Control::SetEnabled(enabled);
    for (auto& item : items_) item->SetEnabled(enabled);
}

void Container::OnDpiChanged() {
    for (auto& item : items_) item->OnDpiChanged();
}

// ------------------------------------------------------- stacking layouts

namespace {

// Shares `available` pixels along one axis between children: fixed ones get
// their size, the others split the rest within their min and max.
std::vector<int> Distribute(const std::vector<Control*>& kids, int available, int gap, bool vertical) {
    std::vector<int> sizes(kids.size(), 0);
    int used = 0, autos = 0;
    for (size_t i = 0; i < kids.size(); ++i) {
        Control* c = kids[i];
        RECT pad = c->GetPadding();
        used += vertical ? pad.top + pad.bottom : pad.left + pad.right;
        if (i > 0) used += gap;
        SIZE want = c->EstimateSize(SIZE{vertical ? 0 : available, vertical ? available : 0});
        int fixed = vertical ? want.cy : want.cx;
        if (fixed > 0) {
            sizes[i] = fixed;
            used += fixed;
        } else {
            sizes[i] = -1;
            ++autos;
        }
    }
    int rest = available - used;
    // Children with a minimum or maximum take that first, the rest share.
    for (int pass = 0; pass < 2 && autos > 0; ++pass) {
        for (size_t i = 0; i < kids.size(); ++i) {
            if (sizes[i] != -1) continue;
            int share = autos > 0 ? std::max(rest, 0) / autos : 0;
            int lo = vertical ? kids[i]->GetMinHeight() : kids[i]->GetMinWidth();
            int hi = vertical ? kids[i]->GetMaxHeight() : kids[i]->GetMaxWidth();
            if (pass == 0 && share >= lo && share <= hi) continue;
            int s = std::min(std::max(share, lo), hi);
            sizes[i] = s;
            rest -= s;
            --autos;
        }
    }
    return sizes;
}

}  // namespace

void VerticalLayout::SetPos(const RECT& rc) {
    Control::SetPos(rc);
    const RECT inner = InnerRect();
    std::vector<Control*> kids;
    for (auto& item : items_) {
        if (!item->IsVisible()) continue;
        if (item->IsFloat()) PlaceFloat(item.get());
        else kids.push_back(item.get());
    }
    std::vector<int> heights = Distribute(kids, inner.bottom - inner.top, GetChildPadding(), true);
    int y = inner.top;
    for (size_t i = 0; i < kids.size(); ++i) {
        Control* c = kids[i];
        RECT pad = c->GetPadding();
        y += pad.top;
        int width = inner.right - inner.left - pad.left - pad.right;
        SIZE want = c->EstimateSize(SIZE{width, heights[i]});
        if (want.cx > 0 && want.cx < width) width = want.cx;
        PlaceChild(c, RECT{inner.left + pad.left, y, inner.left + pad.left + width, y + heights[i]});
        y += heights[i] + pad.bottom + GetChildPadding();
    }
}


void HorizontalLayout::SetPos(const RECT& rc) {
    Control::SetPos(rc);
    const RECT inner = InnerRect();
    std::vector<Control*> kids;
    for (auto& item : items_) {
        if (!item->IsVisible()) continue;
        if (item->IsFloat()) PlaceFloat(item.get());
        else kids.push_back(item.get());
    }
    std::vector<int> widths = Distribute(kids, inner.right - inner.left, GetChildPadding(), false);
    int x = inner.left;
    for (size_t i = 0; i < kids.size(); ++i) {
        Control* c = kids[i];
        RECT pad = c->GetPadding();
        x += pad.left;
        int height = inner.bottom - inner.top - pad.top - pad.bottom;
        SIZE want = c->EstimateSize(SIZE{widths[i], height});
        if (want.cy > 0 && want.cy < height) height = want.cy;
        PlaceChild(c, RECT{x, inner.top + pad.top, x + widths[i], inner.top + pad.top + height});
        x += widths[i] + pad.right + GetChildPadding();
    }
}


}  // namespace ui
