// Sits between the main window's embedded browser and the rest of the
// client: opens the service's pages as the client's own form post, shows
// the built-in offline page, keeps the page from opening windows of its
// own, gives the page its keys, and turns clicks on the few elements the
// service's pages agree on into messages to the main window.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "panels/browser_navigator.h"
#include "shell/com_ptr.h"
#include "ui/browser.h"
#include "ui/paint_manager.h"

class PageClickSink;

class WebBrowserCtrlHelper : public ui::BrowserEventHandler,
                             public ui::IAcceleratorTranslator,
                             public BrowserNavigator {
public:
    // The sink's cookie while no document is watched.
    static constexpr DWORD kNotConnected = 0xFEFEFEFE;
    // Navigation flags of a service page: neither read from nor written to
    // the cache (navNoReadFromCache | navNoWriteToCache).
    static constexpr LONG kPageFlags = 12;
    static constexpr wchar_t kFormHeaders[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

    // Messages go to `owner` (the main window).
    explicit WebBrowserCtrlHelper(HWND owner);
    ~WebBrowserCtrlHelper() override;
    WebBrowserCtrlHelper(const WebBrowserCtrlHelper&) = delete;
    WebBrowserCtrlHelper& operator=(const WebBrowserCtrlHelper&) = delete;

    // Holds a reference of its own. A page asked for before there is a
    // browser opens once it is given one.
    void SetBrowser(IWebBrowser2* browser);
    bool HasBrowser() const { return static_cast<bool>(browser_); }
    // Lets go of the browser and of the watched document.
    void ReleaseBrowser();

    // BrowserNavigator
    void OpenPage(const std::wstring& address) override;
    void ShowOfflinePage() override;
    void ReloadPage() override;

    // The page built into the program (resource IDR_OFFLINE_HTML).
    static std::wstring OfflinePageAddress();
    // The body that marks a page request as the client's: "from_tavo_soft="
    // and the server clock, in the ANSI code page.
    static std::string PageRequestBody();
    // The message a click on the element with this id asks for: the agreed
    // ids (case-sensitive) have their own, everything else is an ordinary
    // click (2169).
    static UINT ClickMessage(const std::wstring& elementId);

    // A click in the watched document (the event object, or null when it
    // could not be read): posts its message; true lets the page's own
    // action for the click go ahead.
    bool OnPageClick(IDispatch* event);
    DWORD SinkCookie() const { return cookie_; }

    // ui::BrowserEventHandler
    using ui::BrowserEventHandler::TranslateAccelerator;
    void BeforeNavigate2(IDispatch* disp, VARIANT*& url, VARIANT*& flags, VARIANT*& targetFrame, VARIANT*& postData,
                         VARIANT*& headers, VARIANT_BOOL*& cancel) override;
    void DocumentComplete(IDispatch* disp, VARIANT*& url) override;
    void NewWindow3(IDispatch** disp, VARIANT_BOOL*& cancel, DWORD flags, BSTR context, BSTR url) override;
    void BrowserCreated(IWebBrowser2* browser) override;

    // ui::IAcceleratorTranslator: keys of the browser's own windows go to
    // the page first (Tab, arrows, the clipboard keys).
    LRESULT TranslateAccelerator(MSG* msg) override;

private:
    enum class Pending { kNone, kPage, kOffline };

    void Navigate(const std::wstring& address, bool formPost);
    // The document's connection point for its events, reached from the
    // frame's browser object; empty when any step fails.
    static shell::ComPtr<IConnectionPoint> DocumentEvents(IDispatch* frame);
    // Only the page itself is watched: a frame inside it that loads or
    // navigates later must not take the clicks of the page.
    bool IsTopFrame(IDispatch* frame) const;
    void ConnectSink(IDispatch* frame);
    void DisconnectSink(IDispatch* frame);
    // Disconnects whatever the sink watches.
    void DropSink();

    HWND owner_;
    shell::ComPtr<IWebBrowser2> browser_;
    shell::ComPtr<PageClickSink> sink_;
    shell::ComPtr<IConnectionPoint> point_;  // of the watched document
    DWORD cookie_ = kNotConnected;
    Pending pending_ = Pending::kNone;
    std::wstring pendingAddress_;
};
