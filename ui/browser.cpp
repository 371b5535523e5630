#include "ui/browser.h"

#include <exdispid.h>

#include "shell/diagnostic.h"
#include "ui/paint_manager.h"
#include "ui/platform.h"

namespace ui {

// One object answers for the host: client site, in-place site and frame,
// document host UI handler, and the sink of the browser's events. It is
// reference counted; the control holds one reference and unhooks it
// (control_ = null) before letting go, so late calls find no control.
class BrowserSite : public IOleClientSite,
                    public IOleInPlaceSite,
                    public IOleInPlaceFrame,
                    public IDocHostUIHandler,
                    public IDispatch {
public:
    explicit BrowserSite(BrowserControl* control) : control_(control) {}
    void ForgetControl() { control_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDocHostUIHandler) *out = static_cast<IDocHostUIHandler*>(this);
        else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) *out = static_cast<IDispatch*>(this);
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override {
        if (out == nullptr) return E_POINTER;
        *out = Host();
        return *out ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return control_ ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (frame == nullptr || doc == nullptr || pos == nullptr || clip == nullptr) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        RECT rc = control_ ? control_->GetPos() : RECT{};
        *pos = rc;
        *clip = rc;
        if (info != nullptr) {
            info->fMDIApp = FALSE;
            info->hwndFrame = Host();
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT rc) override {
        if (control_ != nullptr && control_->inPlace_ && rc != nullptr)
            control_->inPlace_->SetObjectRects(rc, rc);
        return S_OK;
    }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL enable) override {
        BrowserEventHandler* h = Handler();
        return h ? h->EnableModeless(enable) : S_OK;
    }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* pt, IUnknown* target, IDispatch* object) override {
        BrowserEventHandler* h = Handler();
        return h ? h->ShowContextMenu(id, pt, target, object) : S_OK;
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        BrowserEventHandler* h = Handler();
        if (h) return h->GetHostInfo(info);
        return BrowserEventHandler().GetHostInfo(info);
    }
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                        IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc) override {
        BrowserEventHandler* h = Handler();
        return h ? h->ShowUI(id, active, target, frame, doc) : S_FALSE;
    }
    STDMETHODIMP HideUI() override { return Handler() ? Handler()->HideUI() : S_OK; }
    STDMETHODIMP UpdateUI() override { return Handler() ? Handler()->UpdateUI() : S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL a) override { return Handler() ? Handler()->OnDocWindowActivate(a) : S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL a) override {
        return Handler() ? Handler()->OnFrameWindowActivate(a) : S_OK;
    }
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override {
        return Handler() ? Handler()->ResizeBorder(border, window, frame) : S_OK;
    }
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) override {
        return Handler() ? Handler()->TranslateAccelerator(msg, group, command) : S_FALSE;
    }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override {
        return Handler() ? Handler()->GetOptionKeyPath(key, reserved) : BrowserEventHandler().GetOptionKeyPath(key, reserved);
    }
    STDMETHODIMP GetDropTarget(IDropTarget* drop, IDropTarget** out) override {
        return Handler() ? Handler()->GetDropTarget(drop, out) : BrowserEventHandler().GetDropTarget(drop, out);
    }
    STDMETHODIMP GetExternal(IDispatch** out) override {
        return Handler() ? Handler()->GetExternal(out) : BrowserEventHandler().GetExternal(out);
    }
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* out) override {
        return Handler() ? Handler()->TranslateUrl(translate, url, out)
                         : BrowserEventHandler().TranslateUrl(translate, url, out);
    }
    STDMETHODIMP FilterDataObject(IDataObject* in, IDataObject** out) override {
        return Handler() ? Handler()->FilterDataObject(in, out) : BrowserEventHandler().FilterDataObject(in, out);
    }

    // IDispatch: the browser's DWebBrowserEvents2
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        BrowserEventHandler* h = Handler();
        if (h == nullptr || params == nullptr) return S_OK;
        VARIANTARG* a = params->rgvarg;
        const UINT n = params->cArgs;  // arguments arrive last first
        switch (id) {
            case DISPID_BEFORENAVIGATE2:
                if (n == 7) h->BeforeNavigate2(a[6].pdispVal, a[5].pvarVal, a[4].pvarVal, a[3].pvarVal, a[2].pvarVal,
                                               a[1].pvarVal, a[0].pboolVal);
                break;
            case DISPID_NAVIGATEERROR:
                if (n == 5) h->NavigateError(a[4].pdispVal, a[3].pvarVal, a[2].pvarVal, a[1].pvarVal, a[0].pboolVal);
                break;
            case DISPID_NAVIGATECOMPLETE2:
                if (n == 2) h->NavigateComplete2(a[1].pdispVal, a[0].pvarVal);
                break;
            case DISPID_DOCUMENTCOMPLETE:
                if (n == 2) h->DocumentComplete(a[1].pdispVal, a[0].pvarVal);
                break;
            case DISPID_PROGRESSCHANGE:
                if (n == 2) h->ProgressChange(a[1].lVal, a[0].lVal);
                break;
            case DISPID_NEWWINDOW3:
                if (n == 5)
                    h->NewWindow3(a[4].ppdispVal, a[3].pboolVal, static_cast<DWORD>(a[2].lVal), a[1].bstrVal,
                                  a[0].bstrVal);
                break;
            case DISPID_TITLECHANGE:
                if (n == 1) h->TitleChange(a[0].bstrVal);
                break;
            default:
                break;
        }
        return S_OK;
    }

private:
    virtual ~BrowserSite() = default;
    HWND Host() const {
        return control_ && control_->GetManager() ? control_->GetManager()->GetPaintWindow() : nullptr;
    }
    BrowserEventHandler* Handler() const { return control_ ? control_->handler_ : nullptr; }

    LONG refs_ = 1;
    BrowserControl* control_;
};

BrowserControl::BrowserControl() = default;

BrowserControl::~BrowserControl() { DestroyBrowser(); }

void BrowserControl::SetAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"homepage") homePage_ = value;
    else if (name == L"autonavi") autoNavigate_ = ParseBool(value);
    else Control::SetAttribute(name, value);
}

namespace {

constexpr UINT kCreateTimer = 1;

// The browser's connection point for its events, or empty.
shell::ComPtr<IConnectionPoint> EventsPoint(const shell::ComPtr<IWebBrowser2>& browser) {
    shell::ComPtr<IConnectionPoint> point;
    if (auto container = browser.As<IConnectionPointContainer>()) {
        if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()))) point.Detach();
    }
    return point;
}

}  // namespace

void BrowserControl::DoInit() {
    if (browser_ || manager_ == nullptr || manager_->GetPaintWindow() == nullptr) return;
    creationPending_ = manager_->SetTimer(this, kCreateTimer, 1);
    if (!creationPending_) CreateNow();
}

void BrowserControl::DoEvent(ControlEvent& event) {
    if (event.type == EventType::Timer && event.wParam == kCreateTimer) {
        manager_->KillTimer(this, kCreateTimer);
        CreateNow();
        return;
    }
    Control::DoEvent(event);
}

bool BrowserControl::CreateNow() {
    creationPending_ = false;
    if (browser_) return true;
    if (manager_ == nullptr || manager_->GetPaintWindow() == nullptr) return false;
    if (!CreateBrowser()) {
        DestroyBrowser();
        pendingUrl_.clear();
        shell::Diagnostic(L"ui: the web browser control is not available");
        return false;
    }
    if (handler_ != nullptr) handler_->BrowserCreated(browser_.get());
    if (!pendingUrl_.empty()) {
        std::wstring url = std::move(pendingUrl_);
        pendingUrl_.clear();
        Navigate(url);
    } else if (autoNavigate_ && !homePage_.empty()) {
        Navigate(homePage_);
    }
    return true;
}

bool BrowserControl::CreateBrowser() {
    HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, ole_.put_void());
    if (FAILED(hr) || !ole_) return false;
    site_.Attach(new BrowserSite(this));
    IOleClientSite* clientSite = site_.get();
    if (FAILED(ole_->SetClientSite(clientSite))) return false;
    RECT rc = rect_;
    hr = ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, manager_->GetPaintWindow(), &rc);
    if (FAILED(hr)) return false;
    inPlace_ = ole_.As<IOleInPlaceObject>();
    browser_ = ole_.As<IWebBrowser2>();
    if (!browser_) return false;
    if (auto point = EventsPoint(browser_)) point->Advise(static_cast<IDispatch*>(site_.get()), &eventCookie_);
    browser_->put_Silent(VARIANT_TRUE);
    ShowInPlace(IsVisible());
    return true;
}

void BrowserControl::DestroyBrowser() {
    if (browser_ && eventCookie_ != 0) {
        if (auto point = EventsPoint(browser_)) point->Unadvise(eventCookie_);
        eventCookie_ = 0;
    }
    browser_.reset();
    if (inPlace_) {
        inPlace_->InPlaceDeactivate();
        inPlace_.reset();
    }
    if (ole_) {
        ole_->Close(OLECLOSE_NOSAVE);
        ole_->SetClientSite(nullptr);
        ole_.reset();
    }
    if (site_) {
        site_->ForgetControl();
        site_.reset();
    }
}

IWebBrowser2* BrowserControl::GetIWebBrowser2() const {
    IWebBrowser2* out = nullptr;
    browser_.CopyTo(&out);
    return out;
}

void BrowserControl::SetWebBrowserEventHandler(BrowserEventHandler* handler) { handler_ = handler; }

bool BrowserControl::Navigate(const std::wstring& url) {
    if (!browser_) {
        // Not created yet: the page opens as soon as it is.
        if (!creationPending_) return false;
        pendingUrl_ = url;
        return true;
    }
    shell::UniqueBstr target(::SysAllocString(url.c_str()));
    if (!target) return false;
    shell::UniqueVariant empty;
    return SUCCEEDED(browser_->Navigate(target.get(), empty.get(), empty.get(), empty.get(), empty.get()));
}

void BrowserControl::SetPos(const RECT& rc) {
    Control::SetPos(rc);
    if (inPlace_) inPlace_->SetObjectRects(&rect_, &rect_);
}

void BrowserControl::ShowInPlace(bool show) {
    if (!inPlace_) return;
    HWND hwnd = nullptr;
    if (SUCCEEDED(inPlace_->GetWindow(&hwnd)) && hwnd != nullptr) ::ShowWindow(hwnd, show ? SW_SHOWNA : SW_HIDE);
}

void BrowserControl::SetVisible(bool visible) {
    Control::SetVisible(visible);
    ShowInPlace(IsVisible());
}

void BrowserControl::SetInternVisible(bool visible) {
    Control::SetInternVisible(visible);
    ShowInPlace(IsVisible());
}

void BrowserControl::PaintBkColor(HDC dc) {
    // Without a browser the area keeps the skin's colour (white by default).
    if ((bkColor_ >> 24) == 0 && !browser_) {
        ::FillRect(dc, &rect_, BlankBrush());
        return;
    }
    Control::PaintBkColor(dc);
}

}  // namespace ui
