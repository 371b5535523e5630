// Stand-ins for the browser's COM objects where there is no HTML engine:
// a browser that records what it is asked to open, a document with its
// event connection point, and a click event with its source element. They
// live on the test's stack and count their references, so a test sees
// whether the code under test gave back every one it took.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleidl.h>

#include <string>
#include <vector>

namespace testing_support {

// Reference counting that never deletes: the test owns the object.
class Counted {
public:
    ULONG Add() { return static_cast<ULONG>(++refs_); }
    ULONG Drop() { return static_cast<ULONG>(--refs_); }
    // References held by others than the test's own one.
    long Held() const { return refs_ - 1; }

private:
    long refs_ = 1;
};

#define TESTING_COUNTED_UNKNOWN                                          \
    STDMETHODIMP_(ULONG) AddRef() override { return count.Add(); }      \
    STDMETHODIMP_(ULONG) Release() override { return count.Drop(); }

// An IDispatch that answers property reads by dispatch id only.
class FakeDispatch : public IDispatch {
public:
    Counted count;
    TESTING_COUNTED_UNKNOWN
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (flags != DISPATCH_PROPERTYGET || result == nullptr) return DISP_E_MEMBERNOTFOUND;
        return Get(id, result);
    }

protected:
    virtual HRESULT Get(DISPID id, VARIANT* result) = 0;
    virtual ~FakeDispatch() = default;
};

// An element with an id (a null id when `hasId` is false).
class FakeElement : public FakeDispatch {
public:
    explicit FakeElement(std::wstring elementId, bool hasId = true) : id(std::move(elementId)), hasId_(hasId) {}
    std::wstring id;
    bool failRead = false;

protected:
    HRESULT Get(DISPID dispid, VARIANT* result) override {
        if (dispid != static_cast<DISPID>(DISPID_IHTMLELEMENT_ID) || failRead) return DISP_E_MEMBERNOTFOUND;
        if (!hasId_) {
            result->vt = VT_NULL;
            return S_OK;
        }
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocStringLen(id.data(), static_cast<UINT>(id.size()));
        return S_OK;
    }

private:
    bool hasId_;
};

// A click event whose source is `element` (none when null).
class FakeClickEvent : public FakeDispatch {
public:
    explicit FakeClickEvent(FakeElement* element) : source(element) {}
    FakeElement* source;

protected:
    HRESULT Get(DISPID dispid, VARIANT* result) override {
        if (dispid != static_cast<DISPID>(DISPID_IHTMLEVENTOBJ_SRCELEMENT)) return DISP_E_MEMBERNOTFOUND;
        if (source == nullptr) return E_FAIL;
        result->vt = VT_DISPATCH;
        result->pdispVal = source;
        source->AddRef();
        return S_OK;
    }
};

// The document's connection point for its events: keeps one sink.
class FakeConnectionPoint : public IConnectionPoint {
public:
    Counted count;
    TESTING_COUNTED_UNKNOWN
    IID iid{};
    IDispatch* sink = nullptr;  // a reference of its own while advised
    DWORD nextCookie = 7;
    int advises = 0;
    int unadvises = 0;
    bool refuse = false;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetConnectionInterface(IID* out) override {
        *out = iid;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IUnknown* unknown, DWORD* cookie) override {
        ++advises;
        if (refuse || sink != nullptr) return CONNECT_E_ADVISELIMIT;
        // As a document does: the sink for its own interface, else IDispatch.
        void* out = nullptr;
        if (FAILED(unknown->QueryInterface(iid, &out)) && FAILED(unknown->QueryInterface(IID_IDispatch, &out)))
            return CONNECT_E_CANNOTCONNECT;
        sink = static_cast<IDispatch*>(out);
        *cookie = nextCookie;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        ++unadvises;
        if (sink == nullptr || cookie != nextCookie) return CONNECT_E_NOCONNECTION;
        sink->Release();
        sink = nullptr;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    // Calls the sink as the document does for a click; the sink's answer
    // (true: the page's own action goes ahead).
    bool Click(IDispatch* event, HRESULT* hr = nullptr) {
        VARIANT arg;
        ::VariantInit(&arg);
        arg.vt = VT_DISPATCH;
        arg.pdispVal = event;
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        VARIANT result;
        ::VariantInit(&result);
        HRESULT r = sink ? sink->Invoke(DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, IID_NULL, 0, DISPATCH_METHOD, &params,
                                        &result, nullptr, nullptr)
                         : E_UNEXPECTED;
        if (hr) *hr = r;
        return result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
    }
};

// A loaded HTML document: its events through a connection point.
class FakeDocument : public IDispatch, public IConnectionPointContainer {
public:
    // The document events' interface id.
    static constexpr GUID kEvents = {0x3050F613, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

    FakeDocument() { point.iid = kEvents; }
    Counted count;
    TESTING_COUNTED_UNKNOWN
    FakeConnectionPoint point;
    bool noEvents = false;  // a document that is not HTML

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
        else if (riid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(this);
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        *out = nullptr;
        if (noEvents || riid != kEvents) return CONNECT_E_NOCONNECTION;
        *out = &point;
        point.AddRef();
        return S_OK;
    }
};

// The page's in-place object, which gives the page its keys.
class FakeActiveObject : public IOleInPlaceActiveObject {
public:
    Counted count;
    TESTING_COUNTED_UNKNOWN
    std::vector<MSG> translated;
    HRESULT answer = S_OK;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IOleInPlaceActiveObject) return E_NOINTERFACE;
        *out = static_cast<IOleInPlaceActiveObject*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override {
        translated.push_back(*msg);
        return answer;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
};

// What one Navigate call was handed, read back into plain values.
struct NavigateCall {
    std::wstring url;
    VARTYPE flagsType = VT_EMPTY;
    LONG flags = 0;
    VARTYPE frameType = VT_EMPTY;
    VARTYPE bodyType = VT_EMPTY;
    std::string body;  // the bytes of the array, exactly
    VARTYPE headersType = VT_EMPTY;
    std::wstring headers;
};

// A browser (or one frame of it) that records Navigate and Refresh2 and
// shows `document`; it offers `active` as its in-place object when set.
class FakeWebBrowser : public IWebBrowser2 {
public:
    Counted count;
    TESTING_COUNTED_UNKNOWN
    std::vector<NavigateCall> navigations;
    std::vector<VARIANT> refreshes;  // plain values only (VT_I4)
    FakeDocument* document = nullptr;
    FakeActiveObject* active = nullptr;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser || riid == IID_IWebBrowserApp ||
            riid == IID_IWebBrowser2) {
            *out = static_cast<IWebBrowser2*>(this);
        } else if (riid == IID_IOleInPlaceActiveObject && active != nullptr) {
            *out = static_cast<IOleInPlaceActiveObject*>(active);
            active->AddRef();
            return S_OK;
        }
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* body, VARIANT* headers) override {
        NavigateCall call;
        if (url != nullptr) call.url.assign(url, ::SysStringLen(url));
        if (flags != nullptr) {
            call.flagsType = flags->vt;
            if (flags->vt == VT_I4) call.flags = flags->lVal;
        }
        if (frame != nullptr) call.frameType = frame->vt;
        if (body != nullptr) {
            call.bodyType = body->vt;
            if (body->vt == (VT_ARRAY | VT_UI1) && body->parray != nullptr) {
                LONG low = 0;
                LONG high = -1;
                ::SafeArrayGetLBound(body->parray, 1, &low);
                ::SafeArrayGetUBound(body->parray, 1, &high);
                void* data = nullptr;
                if (SUCCEEDED(::SafeArrayAccessData(body->parray, &data))) {
                    call.body.assign(static_cast<const char*>(data), static_cast<size_t>(high - low + 1));
                    ::SafeArrayUnaccessData(body->parray);
                }
            }
        }
        if (headers != nullptr) {
            call.headersType = headers->vt;
            if (headers->vt == VT_BSTR && headers->bstrVal != nullptr)
                call.headers.assign(headers->bstrVal, ::SysStringLen(headers->bstrVal));
        }
        navigations.push_back(call);
        return S_OK;
    }
    STDMETHODIMP Refresh2(VARIANT* level) override {
        VARIANT copy;
        ::VariantInit(&copy);
        if (level != nullptr && level->vt == VT_I4) copy = *level;
        refreshes.push_back(copy);
        return S_OK;
    }
    STDMETHODIMP get_Document(IDispatch** out) override {
        *out = document;
        if (document == nullptr) return S_FALSE;
        document->AddRef();
        return S_OK;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    // Nothing else is asked of the browser.
    STDMETHODIMP GoBack() override { return E_NOTIMPL; }
    STDMETHODIMP GoForward() override { return E_NOTIMPL; }
    STDMETHODIMP GoHome() override { return E_NOTIMPL; }
    STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP get_Application(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Parent(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Container(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Type(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Left(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Left(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Top(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Top(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Height(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocationName(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocationURL(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Busy(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP Quit() override { return E_NOTIMPL; }
    STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
    STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_HWND(SHANDLE_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullName(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Path(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Visible(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusText(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusText(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_ToolBar(int*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ToolBar(int) override { return E_NOTIMPL; }
    STDMETHODIMP get_MenuBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MenuBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullScreen(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_FullScreen(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
    STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_ReadyState(READYSTATE*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Offline(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Offline(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Silent(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Silent(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_AddressBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_AddressBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Resizable(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Resizable(VARIANT_BOOL) override { return E_NOTIMPL; }
};

#undef TESTING_COUNTED_UNKNOWN

}  // namespace testing_support
