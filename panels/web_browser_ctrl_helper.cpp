#include "panels/web_browser_ctrl_helper.h"

#include <mshtmdid.h>
#include <olectl.h>

#include <cstring>
#include <utility>

#include "api/open_url_syn_login.h"
#include "api/server_clock.h"
#include "net/shell_open.h"
#include "shell/messages.h"
#include "shell/module_path.h"
#include "shell/resource_ids.h"
#include "shell/text.h"

namespace {

// The document's event interface the sink is connected to, and the
// button-element event interface whose click it serves (the HTML type
// library's, version 4.0).
constexpr GUID kDocumentEvents = {0x3050F613, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
constexpr GUID kButtonEvents = {0x3050F617, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

constexpr DISPID kClick = DISPID_CLICK;  // -600
constexpr DISPID kSourceElement = DISPID_IHTMLEVENTOBJ_SRCELEMENT;
constexpr DISPID kElementId = DISPID_IHTMLELEMENT_ID;

// A property read through automation; the HTML objects answer their
// interfaces' dispatch ids on any of their dispatch interfaces.
bool ReadProperty(IDispatch* object, DISPID id, shell::UniqueVariant& out) {
    if (object == nullptr) return false;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out.put(),
                                    nullptr, nullptr));
}

// The id of the element the click event came from.
bool ReadSourceId(IDispatch* event, std::wstring& id) {
    shell::UniqueVariant source;
    if (!ReadProperty(event, kSourceElement, source) || source.get()->vt != VT_DISPATCH) return false;
    shell::UniqueVariant text;
    if (!ReadProperty(source.get()->pdispVal, kElementId, text)) return false;
    if (text.get()->vt == VT_NULL || text.get()->vt == VT_EMPTY) {
        id.clear();
        return true;
    }
    if (text.get()->vt != VT_BSTR) return false;
    const BSTR value = text.get()->bstrVal;
    id.assign(value != nullptr ? value : L"", value != nullptr ? ::SysStringLen(value) : 0);
    return true;
}

// Whether two interface pointers belong to one object.
bool SameObject(IUnknown* a, IUnknown* b) {
    if (a == nullptr || b == nullptr) return false;
    shell::ComPtr<IUnknown> ua;
    shell::ComPtr<IUnknown> ub;
    if (FAILED(a->QueryInterface(IID_IUnknown, ua.put_void()))) ua.Detach();
    if (FAILED(b->QueryInterface(IID_IUnknown, ub.put_void()))) ub.Detach();
    return ua && ua.get() == ub.get();
}

}  // namespace

// The dispatch object the document calls for its events. The document
// holds references to it, so it lives apart from the helper and is told
// when the helper goes.
class PageClickSink : public IDispatch {
public:
    explicit PageClickSink(WebBrowserCtrlHelper* helper) : helper_(helper) {}
    void ForgetHelper() { helper_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kButtonEvents || riid == kDocumentEvents) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n != nullptr) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out != nullptr) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id != kClick) return S_OK;
        IDispatch* event = nullptr;
        if (params != nullptr && params->cArgs >= 1 && params->rgvarg != nullptr) {
            // The event object is the only argument (the last one, when more arrive).
            const VARIANT& arg = params->rgvarg[params->cArgs - 1];
            if (arg.vt == VT_DISPATCH) event = arg.pdispVal;
            else if (arg.vt == (VT_DISPATCH | VT_BYREF) && arg.ppdispVal != nullptr) event = *arg.ppdispVal;
        }
        const bool goAhead = helper_ != nullptr ? helper_->OnPageClick(event) : true;
        if (result != nullptr) {
            ::VariantInit(result);
            result->vt = VT_BOOL;
            result->boolVal = goAhead ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    }

private:
    virtual ~PageClickSink() = default;

    LONG refs_ = 1;
    WebBrowserCtrlHelper* helper_;
};

WebBrowserCtrlHelper::WebBrowserCtrlHelper(HWND owner) : owner_(owner) { sink_.Attach(new PageClickSink(this)); }

WebBrowserCtrlHelper::~WebBrowserCtrlHelper() {
    ReleaseBrowser();
    sink_->ForgetHelper();
}

void WebBrowserCtrlHelper::SetBrowser(IWebBrowser2* browser) {
    // A document of the browser it had is no longer the shown page.
    DropSink();
    if (browser != nullptr) browser->AddRef();
    browser_.Attach(browser);
    if (!browser_) return;
    const Pending pending = std::exchange(pending_, Pending::kNone);
    const std::wstring address = std::move(pendingAddress_);
    pendingAddress_.clear();
    if (pending != Pending::kNone) Navigate(address, pending == Pending::kPage);
}

void WebBrowserCtrlHelper::DropSink() {
    if (point_ && cookie_ != kNotConnected) point_->Unadvise(cookie_);
    point_.reset();
    cookie_ = kNotConnected;
}

void WebBrowserCtrlHelper::ReleaseBrowser() {
    DropSink();
    browser_.reset();
}

void WebBrowserCtrlHelper::BrowserCreated(IWebBrowser2* browser) {
    if (!browser_) SetBrowser(browser);
}

std::string WebBrowserCtrlHelper::PageRequestBody() {
    // Digits and a sign only: the same bytes in every ANSI code page.
    return "from_tavo_soft=" + std::to_string(ServerNow());
}

UINT WebBrowserCtrlHelper::ClickMessage(const std::wstring& elementId) {
    if (elementId == L"RetryNetConnect") return msg::kPageRetryConnect;
    if (elementId == L"web_login") return msg::kPageWebLogin;
    if (elementId == L"post_new") return msg::kPagePostNew;
    if (elementId == L"rss_config") return msg::kPageRssConfig;
    return msg::kPageOtherClick;
}

void WebBrowserCtrlHelper::OpenPage(const std::wstring& address) { Navigate(address, true); }

std::wstring WebBrowserCtrlHelper::OfflinePageAddress() {
    return shell::FormatW(L"res://%s/%d", shell::ModulePath().c_str(), IDR_OFFLINE_HTML);
}

void WebBrowserCtrlHelper::ShowOfflinePage() { Navigate(OfflinePageAddress(), false); }

void WebBrowserCtrlHelper::ReloadPage() {
    if (!browser_) return;
    VARIANT level;
    ::VariantInit(&level);
    level.vt = VT_I4;
    level.lVal = REFRESH_COMPLETELY;
    browser_->Refresh2(&level);
}

void WebBrowserCtrlHelper::Navigate(const std::wstring& address, bool formPost) {
    if (!browser_) {
        // The control is created once the window has painted; the page
        // opens then.
        pending_ = formPost ? Pending::kPage : Pending::kOffline;
        pendingAddress_ = address;
        return;
    }
    shell::UniqueBstr url(::SysAllocStringLen(address.data(), static_cast<UINT>(address.size())));
    if (!url) return;
    shell::UniqueVariant flags;
    shell::UniqueVariant frame;
    shell::UniqueVariant body;
    shell::UniqueVariant headers;
    if (formPost) {
        flags.get()->vt = VT_I4;
        flags.get()->lVal = kPageFlags;
        // The body goes as bytes, without a terminating zero.
        const std::string text = PageRequestBody();
        SAFEARRAY* bytes = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size()));
        if (bytes == nullptr) return;
        void* data = nullptr;
        if (FAILED(::SafeArrayAccessData(bytes, &data))) {
            ::SafeArrayDestroy(bytes);
            return;
        }
        std::memcpy(data, text.data(), text.size());
        ::SafeArrayUnaccessData(bytes);
        body.get()->vt = VT_ARRAY | VT_UI1;
        body.get()->parray = bytes;
        headers.get()->vt = VT_BSTR;
        headers.get()->bstrVal = ::SysAllocString(kFormHeaders);
        if (headers.get()->bstrVal == nullptr) return;
    }
    browser_->Navigate(url.get(), flags.get(), frame.get(), body.get(), headers.get());
}

bool WebBrowserCtrlHelper::OnPageClick(IDispatch* event) {
    std::wstring id;
    const bool read = ReadSourceId(event, id);
    const UINT message = read && !id.empty() ? ClickMessage(id) : msg::kPageOtherClick;
    ::PostMessageW(owner_, message, 0, 0);
    // An agreed element's own action (its link) is the client's to take.
    return message == msg::kPageOtherClick;
}

shell::ComPtr<IConnectionPoint> WebBrowserCtrlHelper::DocumentEvents(IDispatch* frame) {
    shell::ComPtr<IConnectionPoint> point;
    if (frame == nullptr) return point;
    shell::ComPtr<IWebBrowser2> web;
    if (FAILED(frame->QueryInterface(IID_IWebBrowser2, web.put_void()))) web.Detach();
    if (!web) return point;
    shell::ComPtr<IDispatch> document;
    if (FAILED(web->get_Document(document.put())) || !document) return point;
    auto container = document.As<IConnectionPointContainer>();
    if (container && FAILED(container->FindConnectionPoint(kDocumentEvents, point.put()))) point.Detach();
    return point;
}

bool WebBrowserCtrlHelper::IsTopFrame(IDispatch* frame) const {
    // Before there is a browser every frame counts.
    return !browser_ || SameObject(frame, browser_.get());
}

void WebBrowserCtrlHelper::ConnectSink(IDispatch* frame) {
    if (cookie_ != kNotConnected || !IsTopFrame(frame)) return;
    shell::ComPtr<IConnectionPoint> point = DocumentEvents(frame);
    if (!point) return;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(sink_.get()), &cookie))) return;
    cookie_ = cookie;
    point_ = std::move(point);
}

void WebBrowserCtrlHelper::DisconnectSink(IDispatch* frame) {
    if (cookie_ == kNotConnected || !IsTopFrame(frame) || !point_) return;
    if (FAILED(point_->Unadvise(cookie_))) return;
    point_.reset();
    cookie_ = kNotConnected;
}

void WebBrowserCtrlHelper::BeforeNavigate2(IDispatch* disp, VARIANT*&, VARIANT*&, VARIANT*&, VARIANT*&, VARIANT*&,
                                           VARIANT_BOOL*&) {
    DisconnectSink(disp);
}

void WebBrowserCtrlHelper::DocumentComplete(IDispatch* disp, VARIANT*&) { ConnectSink(disp); }

void WebBrowserCtrlHelper::NewWindow3(IDispatch**, VARIANT_BOOL*& cancel, DWORD, BSTR, BSTR url) {
    if (!browser_) return;
    if (cancel != nullptr) *cancel = VARIANT_TRUE;
    // Addresses a page names go to the user's browser only as web pages.
    const std::wstring address = url != nullptr ? std::wstring(url, ::SysStringLen(url)) : std::wstring();
    if (IsWebAddress(address)) SynLogin().OpenUrl(address);
}

LRESULT WebBrowserCtrlHelper::TranslateAccelerator(MSG* msg) {
    if (!browser_ || msg == nullptr) return S_FALSE;
    auto active = browser_.As<IOleInPlaceActiveObject>();
    if (!active) return S_FALSE;
    return active->TranslateAccelerator(msg);
}
