// The embedded web page: the system's WebBrowser ActiveX control hosted
// in place in the window, with its events and host questions passed to a
// BrowserEventHandler. Where the control cannot be created (no HTML engine)
// the control stays an empty area and every operation is a no-op.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ole2.h>

#include "shell/com_ptr.h"
#include "ui/control.h"

namespace ui {

// Browser events (0-7) and host UI questions (8-23), in slot order. The
// defaults answer as a plain host: no context menu, no 3-D border, no
// external object.
class BrowserEventHandler {
public:
    virtual ~BrowserEventHandler() = default;
    virtual void BeforeNavigate2(IDispatch* disp, VARIANT*& url, VARIANT*& flags, VARIANT*& targetFrame,
                                 VARIANT*& postData, VARIANT*& headers, VARIANT_BOOL*& cancel) {}
    virtual void NavigateError(IDispatch* disp, VARIANT*& url, VARIANT*& frame, VARIANT*& statusCode,
                               VARIANT_BOOL*& cancel) {}
    virtual void NavigateComplete2(IDispatch* disp, VARIANT*& url) {}
    virtual void DocumentComplete(IDispatch* disp, VARIANT*& url) {}
    virtual void ProgressChange(LONG progress, LONG progressMax) {}
    virtual void NewWindow3(IDispatch** disp, VARIANT_BOOL*& cancel, DWORD flags, BSTR context, BSTR url) {}
    virtual void CommandStateChange(LONG command, VARIANT_BOOL enable) {}  // never passed on
    virtual void TitleChange(BSTR title) {}

    virtual HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* target, IDispatch* object) { return S_OK; }
    virtual HRESULT GetHostInfo(DOCHOSTUIINFO* info) {
        if (info != nullptr) info->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
        return S_OK;
    }
    virtual HRESULT ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                           IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc) {
        return S_FALSE;
    }
    virtual HRESULT HideUI() { return S_OK; }
    virtual HRESULT UpdateUI() { return S_OK; }
    virtual HRESULT EnableModeless(BOOL enable) { return S_OK; }
    virtual HRESULT OnDocWindowActivate(BOOL activate) { return S_OK; }
    virtual HRESULT OnFrameWindowActivate(BOOL activate) { return S_OK; }
    virtual HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) { return S_OK; }
    virtual HRESULT TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) { return S_FALSE; }
    virtual HRESULT GetOptionKeyPath(LPOLESTR* key, DWORD reserved) {
        if (key != nullptr) *key = nullptr;
        return S_OK;
    }
    virtual HRESULT GetDropTarget(IDropTarget* drop, IDropTarget** out) {
        if (out != nullptr) *out = nullptr;
        return S_OK;
    }
    virtual HRESULT GetExternal(IDispatch** out) {
        if (out != nullptr) *out = nullptr;
        return S_OK;
    }
    virtual HRESULT TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* out) {
        if (out != nullptr) *out = nullptr;
        return S_OK;
    }
    virtual HRESULT FilterDataObject(IDataObject* in, IDataObject** out) {
        if (out != nullptr) *out = nullptr;
        return S_OK;
    }
    virtual HRESULT Download(IMoniker* moniker, IBindCtx* ctx, DWORD verb, LONG grfBindF, BINDINFO* info,
                             LPCOLESTR headers, LPCOLESTR redirect, UINT codePage) {
        return S_OK;
    }

    // Not an event of the control's: the control is created after the
    // window has painted, and tells its handler the browser now exists.
    virtual void BrowserCreated(IWebBrowser2* browser) {}
};

class BrowserSite;

class BrowserControl : public Control {
public:
    // Out of line: the site is a complete type only in browser.cpp.
    BrowserControl();
    ~BrowserControl() override;
    std::wstring_view GetClass() const override { return L"WebBrowser"; }

    // An added reference (release it), or null when there is no browser.
    IWebBrowser2* GetIWebBrowser2() const;
    void SetWebBrowserEventHandler(BrowserEventHandler* handler);
    BrowserEventHandler* GetEventHandler() const { return handler_; }
    bool IsCreated() const { return static_cast<bool>(browser_); }
    bool Navigate(const std::wstring& url);

    // The control is created once the window has painted (a timer), so a
    // slow HTML engine does not hold up the first sight of the window.
    void DoInit() override;
    void DoEvent(ControlEvent& event) override;
    // Creates the control now if it is still waiting.
    bool CreateNow();
    void SetPos(const RECT& rc) override;
    void SetVisible(bool visible) override;
    void SetInternVisible(bool visible) override;
    void SetAttribute(std::wstring_view name, const std::wstring& value) override;

protected:
    void PaintBkColor(HDC dc) override;

private:
    bool CreateBrowser();
    void DestroyBrowser();
    void ShowInPlace(bool show);

    shell::ComPtr<BrowserSite> site_;
    shell::ComPtr<IOleObject> ole_;
    shell::ComPtr<IOleInPlaceObject> inPlace_;
    shell::ComPtr<IWebBrowser2> browser_;
    DWORD eventCookie_ = 0;
    BrowserEventHandler* handler_ = nullptr;
    std::wstring homePage_;
    std::wstring pendingUrl_;  // asked for before the control existed
    bool autoNavigate_ = false;
    bool creationPending_ = false;

    friend class BrowserSite;
};

}  // namespace ui
