#include "ui/paint_manager.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwctype>

#include "shell/diagnostic.h"
#include "ui/accessibility.h"
#include "ui/native_controls.h"
#include "ui/platform.h"
#include "ui/skin_store.h"

namespace ui {
namespace {

std::vector<PaintManager*>& Managers() {
    static std::vector<PaintManager*> managers;
    return managers;
}

// Posted to a window so that notifications queued for it go out promptly.
UINT DeliverMessage() {
    static const UINT id = ::RegisterWindowMessageW(L"zudedo.ui.deliver");
    return id;
}

template <typename T>
bool AddUnique(std::vector<T*>& list, T* item) {
    if (item == nullptr || std::find(list.begin(), list.end(), item) != list.end()) return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveItem(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

POINT ClientPoint(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

}  // namespace

PaintManager::PaintManager() = default;

PaintManager::~PaintManager() {
    ReleaseRoot();
    RemoveItem(Managers(), this);
    if (tooltip_ != nullptr) ::DestroyWindow(tooltip_);
}

// ------------------------------------------------------------- statics

void PaintManager::SetInstance(HINSTANCE instance) { SkinStore::SetInstance(instance); }
HINSTANCE PaintManager::GetInstance() { return SkinStore::GetInstance(); }
std::wstring PaintManager::GetInstancePath() { return SkinStore::GetInstancePath(); }
void PaintManager::SetResourcePath(const std::wstring& path) { SkinStore::SetResourcePath(path); }
const std::wstring& PaintManager::GetResourcePath() { return SkinStore::GetResourcePath(); }
void PaintManager::SetResourceZip(const std::wstring& fileName) { SkinStore::SetResourceZip(fileName); }
void PaintManager::SetResourceZip(const void* data, size_t size) { SkinStore::SetResourceZip(data, size); }
const std::wstring& PaintManager::GetResourceZip() { return SkinStore::GetResourceZip(); }
bool PaintManager::IsCachedResourceZip() { return SkinStore::IsCachedResourceZip(); }

int PaintManager::MessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

bool PaintManager::PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            if (!TranslateMessage(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (pred()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                    QS_ALLINPUT);
    }
}

bool PaintManager::TranslateMessage(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return false;
    // Only a child window's keys belong to the window it sits in; GetParent
    // of a pop-up (a menu, a banner) gives its owner, whose filters must not
    // see them: Escape in a menu would close the window that opened it.
    const HWND parent = (::GetWindowLongW(msg->hwnd, GWL_STYLE) & WS_CHILD) != 0 ? ::GetParent(msg->hwnd) : nullptr;
    bool framework = false;
    // Filters may close windows: work on a copy and re-check membership.
    std::vector<PaintManager*> managers = Managers();
    for (PaintManager* pm : managers) {
        if (std::find(Managers().begin(), Managers().end(), pm) == Managers().end()) continue;
        if (msg->hwnd == pm->hwnd_) framework = true;
        if (msg->hwnd != pm->hwnd_ && parent != pm->hwnd_) continue;
        if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) pm->keyboardInput_ = true;
        else if (msg->message == WM_LBUTTONDOWN || msg->message == WM_RBUTTONDOWN || msg->message == WM_MBUTTONDOWN ||
                 msg->message == WM_NCLBUTTONDOWN || msg->message == WM_NCRBUTTONDOWN) {
            pm->keyboardInput_ = false;
        }
        std::weak_ptr<int> alive = pm->alive_;
        std::vector<IMessageFilter*> filters = pm->filters_;
        for (IMessageFilter* filter : filters) {
            bool handled = false;
            filter->MessageHandler(msg->message, msg->wParam, msg->lParam, handled);
            if (handled) return true;
            if (alive.expired()) return false;
        }
        if (pm->HandleKeys(msg)) return true;
    }
    if (!framework && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
        for (PaintManager* pm : Managers()) {
            for (IAcceleratorTranslator* t : pm->translators_) {
                if (t->TranslateAccelerator(const_cast<MSG*>(msg)) == S_OK) return true;
            }
        }
    }
    return false;
}

// --------------------------------------------------------------- binding

void PaintManager::Init(HWND hwnd) {
    hwnd_ = hwnd;
    keepTimer_ = false;  // a timer of an earlier window went with it
    dpi_ = DpiForWindow(hwnd);
    BOOL cues = FALSE;
    ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0);
    focusCues_ = cues != FALSE;
    AddUnique(Managers(), this);
    RebuildFonts();
}

bool PaintManager::AttachDialog(std::unique_ptr<Control> root) {
    ReleaseRoot();
    if (!root) return false;
    root_ = std::move(root);
    root_->SetManager(this, nullptr);
    root_->ForEach([](Control* c) { c->DoInit(); });
    NeedUpdate();
    return true;
}

void PaintManager::ReleaseRoot() {
    HideToolTip();
    focus_ = hover_ = pressed_ = tipControl_ = nullptr;
    std::unique_ptr<Control> gone = std::move(root_);
    gone.reset();
    queue_.clear();
}

bool PaintManager::AddNotifier(INotifyListener* l) { return AddUnique(notifiers_, l); }
bool PaintManager::RemoveNotifier(INotifyListener* l) { return RemoveItem(notifiers_, l); }
bool PaintManager::AddPreMessageFilter(IMessageFilter* f) { return AddUnique(filters_, f); }
bool PaintManager::RemovePreMessageFilter(IMessageFilter* f) { return RemoveItem(filters_, f); }
bool PaintManager::AddTranslateAccelerator(IAcceleratorTranslator* t) { return AddUnique(translators_, t); }
bool PaintManager::RemoveTranslateAccelerator(IAcceleratorTranslator* t) { return RemoveItem(translators_, t); }

Control* PaintManager::FindControl(std::wstring_view name) const {
    return root_ && !name.empty() ? root_->FindByName(name) : nullptr;
}

Control* PaintManager::FindControl(POINT pt) const {
    const_cast<PaintManager*>(this)->UpdateLayout();
    return root_ ? root_->FindAt(pt) : nullptr;
}

// ------------------------------------------------------ window attributes

SIZE PaintManager::GetInitSize() const { return SIZE{Scale(initSize_.cx), Scale(initSize_.cy)}; }
void PaintManager::SetInitSize(int cx, int cy) {
    initSize_ = SIZE{UnscaleBy(cx, dpi_), UnscaleBy(cy, dpi_)};
}
SIZE PaintManager::GetMinInfo() const { return SIZE{Scale(minInfo_.cx), Scale(minInfo_.cy)}; }
void PaintManager::SetMinInfo(int cx, int cy) { minInfo_ = SIZE{UnscaleBy(cx, dpi_), UnscaleBy(cy, dpi_)}; }
SIZE PaintManager::GetMaxInfo() const { return SIZE{Scale(maxInfo_.cx), Scale(maxInfo_.cy)}; }
void PaintManager::SetMaxInfo(int cx, int cy) { maxInfo_ = SIZE{UnscaleBy(cx, dpi_), UnscaleBy(cy, dpi_)}; }
RECT PaintManager::GetCaptionRect() const {
    return RECT{Scale(caption_.left), Scale(caption_.top), Scale(caption_.right), Scale(caption_.bottom)};
}
void PaintManager::SetCaptionRect(const RECT& units) { caption_ = units; }
RECT PaintManager::GetSizeBox() const {
    return RECT{Scale(sizeBox_.left), Scale(sizeBox_.top), Scale(sizeBox_.right), Scale(sizeBox_.bottom)};
}
void PaintManager::SetSizeBox(const RECT& units) { sizeBox_ = units; }
SIZE PaintManager::GetRoundCorner() const { return SIZE{Scale(roundCorner_.cx), Scale(roundCorner_.cy)}; }
void PaintManager::SetRoundCorner(int cx, int cy) { roundCorner_ = SIZE{cx, cy}; }

void PaintManager::SetDefaultColors(DWORD text, DWORD disabled, DWORD link, DWORD linkHover) {
    if (text >> 24) textColor_ = text;
    if (disabled >> 24) disabledColor_ = disabled;
    if (link >> 24) linkColor_ = link;
    if (linkHover >> 24) linkHoverColor_ = linkHover;
}

// ------------------------------------------------------------------ fonts

static void MakeFont(FontInfo* info, UINT dpi) {
    LOGFONTW lf = {};
    lf.lfHeight = -ScaleBy(info->size, dpi);
    lf.lfWeight = info->bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = info->underline;
    lf.lfItalic = info->italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, info->face.c_str(), LF_FACESIZE);
    info->font.reset(::CreateFontIndirectW(&lf));
    UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    SelectGuard select(dc.get(), info->font.get());
    ::GetTextMetricsW(dc.get(), &info->tm);
}

void PaintManager::RebuildFonts() {
    if (defaultFont_.face.empty()) defaultFont_.face = L"Microsoft YaHei";
    MakeFont(&defaultFont_, dpi_);
    for (FontInfo& f : fonts_) MakeFont(&f, dpi_);
}

int PaintManager::AddFont(const std::wstring& face, int size, bool bold, bool underline, bool italic,
                          bool isDefault) {
    FontInfo info;
    info.face = face.empty() ? L"Microsoft YaHei" : face;
    info.size = size > 0 ? size : 12;
    info.bold = bold;
    info.underline = underline;
    info.italic = italic;
    MakeFont(&info, dpi_);
    if (isDefault) {
        defaultFont_.face = info.face;
        defaultFont_.size = info.size;
        defaultFont_.bold = bold;
        defaultFont_.underline = underline;
        defaultFont_.italic = italic;
        MakeFont(&defaultFont_, dpi_);
    }
    fonts_.push_back(std::move(info));
    return static_cast<int>(fonts_.size()) - 1;
}

const FontInfo* PaintManager::GetFontInfo(int index) const {
    if (index >= 0 && index < static_cast<int>(fonts_.size())) return &fonts_[static_cast<size_t>(index)];
    return &defaultFont_;
}

HFONT PaintManager::GetFont(int index) const { return GetFontInfo(index)->font.get(); }

// ------------------------------------------------------------------ focus

void PaintManager::SetFocus(Control* control) {
    if (control == focus_) return;
    // A native box that is hidden or under a layer cannot take keys.
    if (control != nullptr && control->NativeHandle() != nullptr && !control->IsTabStop()) return;
    std::weak_ptr<int> alive = alive_;
    Control* old = focus_;
    focus_ = nullptr;
    if (old != nullptr) {
        ControlEvent e = MakeEvent(EventType::KillFocus, lastMouse_);
        old->DoEvent(e);
        SendNotify(old, L"killfocus");
        if (alive.expired()) return;
    }
    focus_ = control;
    if (control != nullptr) {
        // Framework-drawn controls take keys through the window itself.
        if (control->NativeHandle() == nullptr && ::GetFocus() != hwnd_ &&
            (::GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_NOACTIVATE) == 0 &&
            ::GetForegroundWindow() == ::GetAncestor(hwnd_, GA_ROOT)) {
            ::SetFocus(hwnd_);
        }
        ControlEvent e = MakeEvent(EventType::SetFocus, lastMouse_);
        control->DoEvent(e);
        // A native box's own window reports its focus itself.
        if (control->NativeHandle() == nullptr) RaiseAccessibleEvent(EVENT_OBJECT_FOCUS, control);
        SendNotify(control, L"setfocus");
        if (alive.expired()) return;
    }
}

namespace {

// Stacking layouts hold their children in reading order already; floats
// are read after the flow of their container, by rows. Of overlapping
// layers only what no later layer covers counts.
void CollectTabStops(Control* c, std::vector<Control*>& out) {
    if (!c->IsVisible()) return;
    if (c->IsTabStop() && c->IsEnabled() && !c->IsCovered(c->GetPos())) out.push_back(c);
    auto* box = dynamic_cast<Container*>(c);
    if (box == nullptr) return;
    std::vector<Control*> floats;
    for (int i = 0; i < box->GetCount(); ++i) {
        Control* item = box->GetItemAt(i);
        if (item->IsFloat()) floats.push_back(item);
        else CollectTabStops(item, out);
    }
    std::stable_sort(floats.begin(), floats.end(), [](const Control* a, const Control* b) {
        const RECT& ra = a->GetPos();
        const RECT& rb = b->GetPos();
        return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
    });
    for (Control* f : floats) CollectTabStops(f, out);
}

}  // namespace

void PaintManager::SetFocusCues(bool shown) {
    if (focusCues_ == shown) return;
    focusCues_ = shown;
    if (focus_ != nullptr) focus_->Invalidate();
}

void PaintManager::RaiseAccessibleEvent(DWORD event, Control* control) {
    if (hwnd_ == nullptr || !::IsWindowVisible(hwnd_)) return;
    if (event == EVENT_OBJECT_FOCUS && ::GetFocus() != hwnd_) return;
    ui::RaiseAccessibleEvent(hwnd_, event, control);
}

bool PaintManager::SetNextTabControl(bool forward) {
    if (!root_) return false;
    UpdateLayout();
    std::vector<Control*> stops;
    CollectTabStops(root_.get(), stops);
    if (stops.empty()) return false;
    auto it = std::find(stops.begin(), stops.end(), focus_);
    size_t next;
    if (it == stops.end()) next = forward ? 0 : stops.size() - 1;
    else {
        size_t i = static_cast<size_t>(it - stops.begin());
        next = forward ? (i + 1) % stops.size() : (i + stops.size() - 1) % stops.size();
    }
    SetFocus(stops[next]);
    return true;
}

bool PaintManager::HandleKeys(const MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0) {
        if (focus_ != nullptr && focus_->GetClass() == L"RichEdit" && static_cast<RichEdit*>(focus_)->WantsTab()) {
            return false;
        }
        // Moved by keyboard: focus marks show from now on, here and in the
        // system's controls.
        SetFocusCues(true);
        if (HWND top = ::GetAncestor(hwnd_, GA_ROOT)) {
            ::SendMessageW(top, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        }
        return SetNextTabControl(::GetKeyState(VK_SHIFT) >= 0);
    }
    if (msg->message == WM_SYSCHAR && (msg->lParam & (1 << 29)) != 0) {
        return ActivateShortcut(static_cast<wchar_t>(msg->wParam));
    }
    return false;
}

bool PaintManager::ActivateShortcut(wchar_t ch) {
    if (!root_ || ch == 0) return false;
    const wchar_t key = static_cast<wchar_t>(std::towupper(ch));
    Control* found = nullptr;
    root_->ForEach([&](Control* c) {
        if (found == nullptr && c->GetShortcut() == key && c->IsVisible() && c->IsEnabled()) found = c;
    });
    if (found == nullptr) return false;
    if (found->IsTabStop()) SetFocus(found);
    found->Activate();
    return true;
}

// ----------------------------------------------------------------- images

std::shared_ptr<Image> PaintManager::GetImage(const std::wstring& file) {
    std::wstring key = file;
    for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
    auto it = images_.find(key);
    if (it != images_.end()) return it->second;
    std::string bytes;
    std::wstring error;
    std::shared_ptr<Image> image;
    if (SkinStore::ReadFile(file, &bytes, &error)) image = DecodeImage(bytes);
    else shell::Diagnostic(L"ui: image " + file + L": " + error);
    images_[key] = image;  // a missing picture is not looked up again on every paint
    return image;
}

void PaintManager::ReloadImage(const std::wstring& file) {
    std::wstring key = file;
    for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
    images_.erase(key);
    if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

// ---------------------------------------------------------- notifications

void PaintManager::SendNotify(Control* sender, const wchar_t* type, WPARAM wParam, LPARAM lParam, bool async) {
    Notification msg;
    msg.type = type;
    msg.sender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, async);
}

void PaintManager::SendNotify(Notification& msg, bool async) {
    msg.timestamp = ::GetTickCount();
    msg.mouse = lastMouse_;
    if (async) {
        queue_.push_back(msg);
        if (hwnd_ != nullptr) ::PostMessageW(hwnd_, DeliverMessage(), 0, 0);
        return;
    }
    std::weak_ptr<int> alive = alive_;
    if (msg.sender != nullptr) {
        std::vector<INotifyListener*> listeners = msg.sender->Listeners();
        for (INotifyListener* l : listeners) {
            l->Notify(msg);
            if (alive.expired()) return;
        }
    }
    std::vector<INotifyListener*> notifiers = notifiers_;
    for (INotifyListener* n : notifiers) {
        if (std::find(notifiers_.begin(), notifiers_.end(), n) == notifiers_.end()) continue;
        n->Notify(msg);
        if (alive.expired()) return;
    }
}

void PaintManager::DeliverQueued() {
    if (queue_.empty()) return;
    std::vector<Notification> pending;
    pending.swap(queue_);
    std::weak_ptr<int> alive = alive_;
    for (Notification& msg : pending) {
        DWORD stamp = msg.timestamp;
        POINT mouse = msg.mouse;
        SendNotify(msg, false);
        if (alive.expired()) return;
        msg.timestamp = stamp;
        msg.mouse = mouse;
    }
}

void PaintManager::RequestContextMenu(Control* from, WPARAM wParam, LPARAM lParam) {
    for (Control* c = from; c != nullptr; c = c->GetParent()) {
        if (c->IsContextMenuEnabled()) {
            SendNotify(c, L"menu", wParam, lParam);
            return;
        }
    }
}

// ------------------------------------------------------ layout and paint

void PaintManager::Invalidate(const RECT& rc) {
    // A layout pass repaints the whole client once; a server call for every
    // control it moves would cost more than the layout itself.
    if (hwnd_ != nullptr && !layingOut_) ::InvalidateRect(hwnd_, &rc, FALSE);
}

void PaintManager::NeedUpdate() {
    needUpdate_ = true;
    if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void PaintManager::UpdateLayout() {
    if (LayOut()) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

bool PaintManager::LayOut() {
    if (!needUpdate_ || !root_ || hwnd_ == nullptr) return false;
    needUpdate_ = false;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (client.right <= 0 || client.bottom <= 0) {
        needUpdate_ = true;  // minimised: wait for a real size
        return false;
    }
    layingOut_ = true;
    root_->SetPos(client);
    layingOut_ = false;
    // Layers may have moved over native windows or away from them.
    if (!syncing_) SyncNativeWindows();
    return true;
}

void PaintManager::Paint(HDC dc, const RECT& area) {
    RECT dirty = area;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    // Laid out now, inside BeginPaint: paint it all here rather than
    // invalidating again, which would paint the window twice.
    if (LayOut()) dirty = client;
    if (client.right <= 0 || client.bottom <= 0) return;
    if (backBuffer_.width != client.right || backBuffer_.height != client.bottom) {
        backBuffer_ = CreateDib(client.right, client.bottom);
    }
    if (!backBuffer_.bitmap) return;
    lastPaint_ = ::GetTickCount64();
    if (!keepTimer_) keepTimer_ = ::SetTimer(hwnd_, kKeepBufferTimer, kKeepBackBufferMs, nullptr) != 0;
    UniqueMemDC mem(::CreateCompatibleDC(dc));
    SelectGuard select(mem.get(), backBuffer_.bitmap.get());
    {
        SavedDC saved(mem.get());
        ::IntersectClipRect(mem.get(), dirty.left, dirty.top, dirty.right, dirty.bottom);
        ::FillRect(mem.get(), &dirty, BlankBrush());
        if (root_) root_->DoPaint(mem.get(), dirty);
    }
    ::BitBlt(dc, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, mem.get(), dirty.left,
             dirty.top, SRCCOPY);
}

// Each paint fills and draws its whole dirty area, so what the back buffer
// held before is never shown again: a window left alone (signed in, idle)
// need not keep a screenful of pixels. One timer for a run of paints.
void PaintManager::OnKeepBufferTimer() {
    const ULONGLONG idle = ::GetTickCount64() - lastPaint_;
    if (idle < kKeepBackBufferMs) {
        ::SetTimer(hwnd_, kKeepBufferTimer, static_cast<UINT>(kKeepBackBufferMs - idle), nullptr);
        return;
    }
    ::KillTimer(hwnd_, kKeepBufferTimer);
    keepTimer_ = false;
    backBuffer_ = Dib{};
}

// A window in the tray may stay hidden for days; its next paint draws
// everything anew anyway.
void PaintManager::ReleaseBackBuffer() {
    backBuffer_ = Dib{};
    if (keepTimer_ && hwnd_ != nullptr) ::KillTimer(hwnd_, kKeepBufferTimer);
    keepTimer_ = false;
}

void PaintManager::PaintTo(HDC dc) {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    Paint(dc, client);
}

void PaintManager::SetDpi(UINT dpi) {
    if (dpi == 0 || dpi == dpi_) return;
    dpi_ = dpi;
    RebuildFonts();
    if (root_) root_->ForEach([](Control* c) { c->OnDpiChanged(); });
    NeedUpdate();
}

// ----------------------------------------------------------------- timers

bool PaintManager::SetTimer(Control* control, UINT id, UINT elapseMs) {
    if (hwnd_ == nullptr || control == nullptr) return false;
    for (Timer& t : timers_) {
        if (t.control == control && t.id == id) return ::SetTimer(hwnd_, t.native, elapseMs, nullptr) != 0;
    }
    Timer t{control, id, nextTimer_++};
    if (::SetTimer(hwnd_, t.native, elapseMs, nullptr) == 0) return false;
    timers_.push_back(t);
    return true;
}

void PaintManager::KillTimer(Control* control, UINT id) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->control == control && it->id == id) {
            if (hwnd_ != nullptr) ::KillTimer(hwnd_, it->native);
            timers_.erase(it);
            return;
        }
    }
}

void PaintManager::ReapObjects(Control* control) {
    if (focus_ == control) focus_ = nullptr;
    if (hover_ == control) hover_ = nullptr;
    if (pressed_ == control) pressed_ = nullptr;
    if (tipControl_ == control) HideToolTip();
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->control == control) {
            if (hwnd_ != nullptr) ::KillTimer(hwnd_, it->native);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [control](const Notification& n) { return n.sender == control; }),
                 queue_.end());
    for (auto it = nativeChildren_.begin(); it != nativeChildren_.end();) {
        if (it->second == control) it = nativeChildren_.erase(it);
        else ++it;
    }
}

void PaintManager::RegisterNativeChild(HWND child, Control* control) { nativeChildren_[child] = control; }
void PaintManager::UnregisterNativeChild(HWND child) { nativeChildren_.erase(child); }
Control* PaintManager::ControlOfNativeChild(HWND child) const {
    auto it = nativeChildren_.find(child);
    return it == nativeChildren_.end() ? nullptr : it->second;
}

void PaintManager::SyncNativeWindows() {
    if (hwnd_ == nullptr || !root_) return;
    if (syncing_ || layingOut_) {
        syncAgain_ = true;  // the running pass goes round once more
        return;
    }
    syncing_ = true;
    std::weak_ptr<int> alive = alive_;
    // A control losing the focus here tells the window, which may show or
    // hide more; a few rounds settle it.
    for (int round = 0; round < 4; ++round) {
        syncAgain_ = false;
        if (LayOut()) ::InvalidateRect(hwnd_, nullptr, FALSE);
        std::vector<HWND> children;
        for (const auto& entry : nativeChildren_) children.push_back(entry.first);
        for (HWND child : children) {
            if (Control* c = ControlOfNativeChild(child)) c->SyncNativeWindow();
            if (alive.expired()) return;
        }
        if (!syncAgain_) break;
    }
    if (tipControl_ != nullptr && !tipControl_->IsVisible()) HideToolTip();
    syncing_ = false;
}

// --------------------------------------------------------------- tooltips

void PaintManager::ShowToolTip(Control* control) {
    if (control == nullptr || control->GetToolTip().empty() || hwnd_ == nullptr) return;
    if (tooltip_ == nullptr) {
        tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                     GetInstance(), nullptr);
        if (tooltip_ == nullptr) return;
        TOOLINFOW ti = {};
        ti.cbSize = sizeof(ti);
        ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        ti.hwnd = hwnd_;
        ti.uId = 1;
        ti.lpszText = const_cast<wchar_t*>(L"");
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(320));
    }
    tipControl_ = control;
    TOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = hwnd_;
    ti.uId = 1;
    ti.lpszText = const_cast<wchar_t*>(control->GetToolTip().c_str());
    ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    POINT pt{};
    ::GetCursorPos(&pt);
    ::SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(pt.x + Scale(4), pt.y + Scale(20)));
    ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    tipShown_ = true;
}

void PaintManager::HideToolTip() {
    if (tooltip_ != nullptr && tipShown_) {
        TOOLINFOW ti = {};
        ti.cbSize = sizeof(ti);
        ti.hwnd = hwnd_;
        ti.uId = 1;
        ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
    }
    tipShown_ = false;
    tipControl_ = nullptr;
}

void PaintManager::SetToolTipText(Control* control) {
    if (tipShown_ && control == tipControl_) {
        if (control->GetToolTip().empty()) HideToolTip();
        else ShowToolTip(control);
    }
}

// ------------------------------------------------------------------ input

ControlEvent PaintManager::MakeEvent(EventType type, POINT pt, WPARAM wParam, LPARAM lParam) const {
    ControlEvent e;
    e.type = type;
    e.pt = pt;
    e.wParam = wParam;
    e.lParam = lParam;
    e.timestamp = ::GetTickCount();
    return e;
}

void PaintManager::HandleMouseMove(POINT pt, WPARAM keys) {
    lastMouse_ = pt;
    if (!mouseTracking_) {
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE | TME_HOVER, hwnd_, 400};
        ::TrackMouseEvent(&tme);
        mouseTracking_ = true;
    }
    Control* hit = FindControl(pt);
    std::weak_ptr<int> alive = alive_;
    if (hit != hover_) {
        HideToolTip();
        Control* old = hover_;
        hover_ = hit;
        if (old != nullptr) {
            ControlEvent e = MakeEvent(EventType::MouseLeave, pt, keys);
            old->DoEvent(e);
        }
        if (hit != nullptr && hover_ == hit) {
            ControlEvent e = MakeEvent(EventType::MouseEnter, pt, keys);
            hit->DoEvent(e);
        }
        // Hover again so the new control's tip can show. A request replaces
        // the one before it, so it asks for the leave as well: without that
        // a tip outlives the pointer leaving the window.
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE | TME_HOVER, hwnd_, 400};
        ::TrackMouseEvent(&tme);
        mouseTracking_ = true;
    }
    Control* target = pressed_ != nullptr ? pressed_ : hover_;
    if (target != nullptr) {
        ControlEvent e = MakeEvent(EventType::MouseMove, pt, keys);
        target->DoEvent(e);
    }
}

bool PaintManager::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (hwnd_ == nullptr) return false;
    std::weak_ptr<int> alive = alive_;
    DeliverQueued();
    if (alive.expired()) {
        result = 0;
        return true;
    }
    bool handled = false;
    result = 0;
    switch (msg) {
        case WM_ERASEBKGND:
            result = 1;
            handled = true;
            break;
        case WM_PAINT: {
            {
                PaintGuard paint(hwnd_);
                Paint(paint.dc(), paint.dirty());
            }
            if (firstPaint_ && root_) {
                firstPaint_ = false;
                SendNotify(root_.get(), L"windowinit");
            }
            handled = true;
            break;
        }
        case WM_PRINTCLIENT:
            PaintTo(reinterpret_cast<HDC>(wParam));
            handled = true;
            break;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) HideToolTip();
            needUpdate_ = true;
            UpdateLayout();
            ::InvalidateRect(hwnd_, nullptr, FALSE);
            break;
        case WM_TIMER:
            if (wParam == kKeepBufferTimer) {
                OnKeepBufferTimer();
                handled = true;
                break;
            }
            for (const Timer& t : timers_) {
                if (t.native == wParam) {
                    ControlEvent e = MakeEvent(EventType::Timer, lastMouse_, t.id);
                    t.control->DoEvent(e);
                    handled = true;
                    break;
                }
            }
            break;
        case WM_MOUSEMOVE:
            HandleMouseMove(ClientPoint(lParam), wParam);
            break;
        case WM_MOUSELEAVE:
            mouseTracking_ = false;
            HideToolTip();
            if (hover_ != nullptr && pressed_ == nullptr) {
                Control* old = hover_;
                hover_ = nullptr;
                ControlEvent e = MakeEvent(EventType::MouseLeave, lastMouse_);
                old->DoEvent(e);
            }
            break;
        case WM_MOUSEHOVER:
            if (hover_ != nullptr && pressed_ == nullptr) ShowToolTip(hover_);
            break;
        // A tip goes with a click, and when another window (a menu) takes
        // the mouse, the activation or the keyboard, or this one hides.
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
        case WM_CANCELMODE:
        case WM_KILLFOCUS:
            HideToolTip();
            break;
        case WM_UPDATEUISTATE:
            if ((HIWORD(wParam) & UISF_HIDEFOCUS) != 0) {
                if (LOWORD(wParam) == UIS_SET) SetFocusCues(false);
                else if (LOWORD(wParam) == UIS_CLEAR) SetFocusCues(true);
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) HideToolTip();
            break;
        case WM_SHOWWINDOW:
            if (wParam == FALSE) {
                HideToolTip();
                ReleaseBackBuffer();
            }
            break;
        case WM_WINDOWPOSCHANGED:
            if ((reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW) != 0) {
                HideToolTip();
                ReleaseBackBuffer();
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            const POINT pt = ClientPoint(lParam);
            lastMouse_ = pt;
            HideToolTip();
            Control* hit = FindControl(pt);
            if (hit == nullptr) break;
            ::SetCapture(hwnd_);
            pressed_ = hit;
            if (hit->IsTabStop()) SetFocus(hit);
            else if (focus_ != nullptr && focus_->NativeHandle() != nullptr) SetFocus(nullptr);
            if (alive.expired() || pressed_ != hit) break;
            ControlEvent e = MakeEvent(msg == WM_LBUTTONDOWN ? EventType::ButtonDown : EventType::DoubleClick, pt,
                                       wParam);
            hit->DoEvent(e);
            break;
        }
        case WM_LBUTTONUP: {
            const POINT pt = ClientPoint(lParam);
            lastMouse_ = pt;
            Control* target = pressed_;
            pressed_ = nullptr;
            if (::GetCapture() == hwnd_) ::ReleaseCapture();
            if (target != nullptr && !alive.expired()) {
                ControlEvent e = MakeEvent(EventType::ButtonUp, pt, wParam);
                target->DoEvent(e);
            }
            break;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd_) {
                pressed_ = nullptr;
                if (lParam != 0) HideToolTip();
            }
            break;
        case WM_CONTEXTMENU: {
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            Control* from = focus_;
            if (lParam != -1) {
                ::ScreenToClient(hwnd_, &pt);
                from = FindControl(pt);
            }
            if (from != nullptr) RequestContextMenu(from, wParam, lParam);
            handled = true;
            break;
        }
        case WM_SETCURSOR: {
            if (LOWORD(lParam) != HTCLIENT) break;
            POINT pt{};
            ::GetCursorPos(&pt);
            ::ScreenToClient(hwnd_, &pt);
            Control* hit = pressed_ != nullptr ? pressed_ : FindControl(pt);
            if (hit == nullptr) break;
            ControlEvent e = MakeEvent(EventType::SetCursor, pt);
            hit->DoEvent(e);
            result = TRUE;
            handled = true;
            break;
        }
        case WM_KEYDOWN:
        case WM_CHAR:
            if (focus_ != nullptr && focus_->NativeHandle() == nullptr) {
                ControlEvent e = MakeEvent(msg == WM_KEYDOWN ? EventType::KeyDown : EventType::Char, lastMouse_,
                                           wParam, lParam);
                focus_->DoEvent(e);
            }
            break;
        case WM_MOUSEWHEEL: {
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ScreenToClient(hwnd_, &pt);
            if (Control* hit = FindControl(pt)) {
                ControlEvent e = MakeEvent(EventType::ScrollWheel, pt, wParam, lParam);
                hit->DoEvent(e);
            }
            break;
        }
        case WM_COMMAND:
        case WM_NOTIFY: {
            HWND from = msg == WM_COMMAND ? reinterpret_cast<HWND>(lParam)
                                          : reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
            if (Control* c = ControlOfNativeChild(from)) handled = c->OnNativeMessage(msg, wParam, lParam, result);
            break;
        }
        case WM_SETFOCUS:
            // Back to the window: give the native box its caret again.
            if (focus_ != nullptr && focus_->NativeHandle() != nullptr && ::IsWindowVisible(focus_->NativeHandle())) {
                ::SetFocus(focus_->NativeHandle());
            }
            break;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            // High contrast switched, or its colours changed: draw anew.
            RefreshHighContrast();
            ::InvalidateRect(hwnd_, nullptr, FALSE);
            break;
        case WM_DPICHANGED: {
            SetDpi(HIWORD(wParam));
            // Any process may send this message; without a rectangle the window stays put.
            if (const RECT* suggested = reinterpret_cast<const RECT*>(lParam)) {
                ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            }
            handled = true;
            break;
        }
        default:
            if (msg == DeliverMessage()) {
                handled = true;
            } else if (msg == AccessibleActionMessage()) {
                keyboardInput_ = true;  // assistive technology stands for the keys
                PerformAccessibleAction(*this, wParam, lParam);
                handled = true;
            }
            break;
    }
    if (!alive.expired()) DeliverQueued();
    return handled;
}

}  // namespace ui
