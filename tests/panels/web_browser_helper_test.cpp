// The browser helper: the page requests it hands the browser, the clicks it
// turns into messages, the document it watches, new windows, keys, and its
// place in the main window. Where Wine has no HTML engine the browser, its
// documents and the click events are the stand-ins of fake_web_browser.h;
// the main window's list page request reaches the stand-in service through
// Wine's own browser object.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/open_url_syn_login.h"
#include "api/server_clock.h"
#include "net/shell_open.h"
#include "panels/web_browser_ctrl_helper.h"
#include "shell/messages.h"
#include "shell/module_path.h"
#include "shell/text.h"
#include "tests/panels/fake_web_browser.h"
#include "tests/panels/main_panel_fixture.h"
#include "ui/browser.h"

namespace {

using testing_support::FakeActiveObject;
using testing_support::FakeClickEvent;
using testing_support::FakeDocument;
using testing_support::FakeElement;
using testing_support::FakeWebBrowser;

// A window that only collects what is posted to it.
class Inbox {
public:
    Inbox() {
        hwnd_ = ::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~Inbox() { ::DestroyWindow(hwnd_); }
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;
    HWND hwnd() const { return hwnd_; }

    // The private messages waiting, in order; the queue is emptied.
    std::vector<UINT> Take() {
        std::vector<UINT> out;
        MSG m;
        while (::PeekMessageW(&m, hwnd_, 0, 0, PM_REMOVE)) {
            if (m.message >= 2049 && m.message <= 2248) {
                EXPECT_EQ(0u, m.wParam);
                EXPECT_EQ(0, m.lParam);
                out.push_back(m.message);
            }
        }
        return out;
    }

private:
    HWND hwnd_;
};

int64_t g_localNow = 1700000000;
int64_t FixedClock() { return g_localNow; }

std::vector<std::wstring> g_opened;
HINSTANCE RecordShellOpen(const std::wstring& file, const std::wstring& parameters) {
    g_opened.push_back(parameters.empty() ? file : file + L" " + parameters);
    return reinterpret_cast<HINSTANCE>(42);
}

class WebBrowserHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        const AppSettings& s = Settings();
        saved_ = Saved{s.signedIn, s.uid, s.serverTimeAtSync, s.localTimeAtSync};
        SetLocalClock(&FixedClock);
        SetShellExecute(&RecordShellOpen);
        g_opened.clear();
        Settings().signedIn = false;
    }
    void TearDown() override {
        SetShellExecute(nullptr);
        SetLocalClock(nullptr);
        AppSettings& s = Settings();
        s.signedIn = saved_.signedIn;
        s.uid = saved_.uid;
        s.serverTimeAtSync = saved_.serverTimeAtSync;
        s.localTimeAtSync = saved_.localTimeAtSync;
    }

    // The server clock reads `now`.
    static void ServerClockAt(int64_t now) {
        Settings().serverTimeAtSync = now;
        Settings().localTimeAtSync = g_localNow;
    }

    // Runs the document-complete event of a frame, as the control passes it on.
    static void Complete(WebBrowserCtrlHelper& helper, FakeWebBrowser& frame) {
        VARIANT url;
        ::VariantInit(&url);
        VARIANT* p = &url;
        helper.DocumentComplete(static_cast<IDispatch*>(&frame), p);
    }
    static void Navigating(WebBrowserCtrlHelper& helper, FakeWebBrowser& frame) {
        VARIANT empty;
        ::VariantInit(&empty);
        VARIANT* a = &empty;
        VARIANT* b = &empty;
        VARIANT* c = &empty;
        VARIANT* d = &empty;
        VARIANT* e = &empty;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT_BOOL* pc = &cancel;
        helper.BeforeNavigate2(static_cast<IDispatch*>(&frame), a, b, c, d, e, pc);
        EXPECT_EQ(VARIANT_FALSE, cancel) << "a navigation goes ahead";
    }
    // The new-window event; the cancel flag as the helper left it.
    static VARIANT_BOOL NewWindow(WebBrowserCtrlHelper& helper, const wchar_t* address) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT_BOOL* pc = &cancel;
        shell::UniqueBstr url(address ? ::SysAllocString(address) : nullptr);
        helper.NewWindow3(nullptr, pc, 0, nullptr, url.get());
        return cancel;
    }

    // The session values these tests change.
    struct Saved {
        bool signedIn;
        uint32_t uid;
        int64_t serverTimeAtSync;
        int64_t localTimeAtSync;
    };

    Inbox inbox;
    Saved saved_{};
};

// ---------------------------------------------------------------- pages

TEST_F(WebBrowserHelperTest, ServicePagesAreTheClientsMarkedFormPost) {
    FakeWebBrowser browser;
    {
        WebBrowserCtrlHelper helper(inbox.hwnd());
        helper.SetBrowser(&browser);
        ServerClockAt(1765432109);
        helper.OpenPage(L"http://127.0.0.1:8080/rovavoda.php/rovavoda/sq?sq_type=1");
        ASSERT_EQ(1u, browser.navigations.size());
        const auto& call = browser.navigations[0];
        EXPECT_EQ(L"http://127.0.0.1:8080/rovavoda.php/rovavoda/sq?sq_type=1", call.url);
        EXPECT_EQ(VT_I4, call.flagsType);
        EXPECT_EQ(12, call.flags) << "neither read from nor written to the cache";
        EXPECT_EQ(VT_EMPTY, call.frameType) << "no target frame";
        EXPECT_EQ(VT_ARRAY | VT_UI1, call.bodyType);
        EXPECT_EQ("from_tavo_soft=1765432109", call.body) << "bytes exactly, no terminating zero";
        EXPECT_EQ(VT_BSTR, call.headersType);
        EXPECT_EQ(L"Content-Type: application/x-www-form-urlencoded\r\n", call.headers);

        // The clock at the time of each request, not of the first.
        g_localNow += 61;
        helper.OpenPage(L"http://127.0.0.1:8080/rovavoda.php/rovavoda/sq/mysq");
        ASSERT_EQ(2u, browser.navigations.size());
        EXPECT_EQ("from_tavo_soft=1765432170", browser.navigations[1].body);
        g_localNow -= 61;

        // A clock that never synchronised still gives a number (a minus
        // only when it is negative).
        Settings().serverTimeAtSync = 0;
        Settings().localTimeAtSync = g_localNow + 5;
        helper.OpenPage(L"http://h/");
        EXPECT_EQ("from_tavo_soft=-5", browser.navigations.back().body);
    }
    EXPECT_EQ(0, browser.count.Held()) << "the helper gave its reference back";
}

TEST_F(WebBrowserHelperTest, OfflinePageAndReload) {
    FakeWebBrowser browser;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    helper.SetBrowser(&browser);

    helper.ShowOfflinePage();
    ASSERT_EQ(1u, browser.navigations.size());
    const auto& call = browser.navigations[0];
    EXPECT_EQ(L"res://" + shell::ModulePath() + L"/132", call.url);
    EXPECT_EQ(call.url, WebBrowserCtrlHelper::OfflinePageAddress());
    EXPECT_EQ(VT_EMPTY, call.bodyType) << "the built-in page is no form post";
    EXPECT_EQ(VT_EMPTY, call.headersType);

    helper.ReloadPage();
    ASSERT_EQ(1u, browser.refreshes.size());
    EXPECT_EQ(VT_I4, browser.refreshes[0].vt);
    EXPECT_EQ(3, browser.refreshes[0].lVal) << "a complete refresh";
    EXPECT_TRUE(inbox.Take().empty());
}

TEST_F(WebBrowserHelperTest, APageAskedForBeforeTheBrowserExistsOpensWhenItDoes) {
    FakeWebBrowser browser;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    ServerClockAt(1765432109);
    helper.OpenPage(L"http://h/first");
    helper.ReloadPage();  // nothing to reload yet
    helper.OpenPage(L"http://h/second");
    ui::BrowserEventHandler& handler = helper;
    handler.BrowserCreated(&browser);
    ASSERT_EQ(1u, browser.navigations.size()) << "only the page asked for last";
    EXPECT_EQ(L"http://h/second", browser.navigations[0].url);
    EXPECT_EQ("from_tavo_soft=1765432109", browser.navigations[0].body);
    EXPECT_TRUE(browser.refreshes.empty());

    // The offline page asked for last wins as well; a second browser
    // object does not replace the first.
    FakeWebBrowser other;
    WebBrowserCtrlHelper offline(inbox.hwnd());
    offline.OpenPage(L"http://h/");
    offline.ShowOfflinePage();
    offline.BrowserCreated(&other);
    offline.BrowserCreated(&browser);
    ASSERT_EQ(1u, other.navigations.size());
    EXPECT_EQ(VT_EMPTY, other.navigations[0].bodyType);
    EXPECT_EQ(1u, browser.navigations.size());
}

// --------------------------------------------------------------- clicks

TEST_F(WebBrowserHelperTest, ClicksOnAgreedElementsBecomeMessagesAndStopThePage) {
    FakeWebBrowser browser;
    FakeDocument document;
    browser.document = &document;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    helper.SetBrowser(&browser);
    Complete(helper, browser);
    ASSERT_NE(nullptr, document.point.sink) << "the sink watches the loaded page";

    struct Case {
        const wchar_t* id;
        UINT message;
        bool followed;
    } cases[] = {
        {L"RetryNetConnect", msg::kPageRetryConnect, false},
        {L"web_login", msg::kPageWebLogin, false},
        {L"post_new", msg::kPagePostNew, false},
        {L"rss_config", msg::kPageRssConfig, false},
        {L"Web_login", msg::kPageOtherClick, true},   // ids compare case by case
        {L"post_new ", msg::kPageOtherClick, true},
        {L"sq_item_17", msg::kPageOtherClick, true},  // an ordinary link is followed
        {L"", msg::kPageOtherClick, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(shell::WideToUtf8(c.id));
        FakeElement element(c.id);
        FakeClickEvent event(&element);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(c.followed, document.point.Click(&event, &hr));
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(std::vector<UINT>{c.message}, inbox.Take());
        EXPECT_EQ(0, element.count.Held());
        EXPECT_EQ(0, event.count.Held());
    }
}

TEST_F(WebBrowserHelperTest, ClicksThatCannotBeReadAreOrdinaryClicks) {
    FakeWebBrowser browser;
    FakeDocument document;
    browser.document = &document;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    helper.SetBrowser(&browser);
    Complete(helper, browser);
    ASSERT_NE(nullptr, document.point.sink);

    FakeElement noId(L"", false);
    FakeElement unreadable(L"post_new");
    unreadable.failRead = true;
    FakeClickEvent withoutId(&noId);
    FakeClickEvent unreadableId(&unreadable);
    FakeClickEvent withoutSource(nullptr);
    for (IDispatch* event : {static_cast<IDispatch*>(&withoutId), static_cast<IDispatch*>(&unreadableId),
                             static_cast<IDispatch*>(&withoutSource), static_cast<IDispatch*>(nullptr)}) {
        EXPECT_TRUE(document.point.Click(event));
        EXPECT_EQ(std::vector<UINT>{msg::kPageOtherClick}, inbox.Take());
    }

    // A call without any argument, and other events, of the sink.
    IDispatch* sink = document.point.sink;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_CLICK, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(VT_BOOL, result.vt);
    EXPECT_EQ(VARIANT_TRUE, result.boolVal);
    EXPECT_EQ(std::vector<UINT>{msg::kPageOtherClick}, inbox.Take());
    FakeElement post(L"post_new");
    FakeClickEvent event(&post);
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_DISPATCH;
    arg.pdispVal = &event;
    DISPPARAMS one = {&arg, nullptr, 1, 0};
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_HTMLDOCUMENTEVENTS2_ONDBLCLICK, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr,
                                 nullptr, nullptr));
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_HTMLDOCUMENTEVENTS2_ONKEYPRESS, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr,
                                 nullptr, nullptr));
    EXPECT_TRUE(inbox.Take().empty()) << "only clicks are served";
    EXPECT_EQ(0, event.count.Held());
}

TEST_F(WebBrowserHelperTest, SinkAnswersForItsOwnInterfacesOnly) {
    FakeWebBrowser browser;
    FakeDocument document;
    browser.document = &document;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    helper.SetBrowser(&browser);
    Complete(helper, browser);
    IDispatch* sink = document.point.sink;
    ASSERT_NE(nullptr, sink);
    const GUID buttonEvents = {0x3050F617, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
    for (const GUID& iid : {IID_IUnknown, IID_IDispatch, buttonEvents}) {
        void* out = nullptr;
        EXPECT_EQ(S_OK, sink->QueryInterface(iid, &out));
        ASSERT_NE(nullptr, out);
        static_cast<IUnknown*>(out)->Release();
    }
    for (const GUID& iid : {IID_NULL, IID_IConnectionPoint, IID_IOleClientSite, IID_IDocHostUIHandler}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(iid, &out));
        EXPECT_EQ(nullptr, out);
    }
}

// ------------------------------------------------------- watched document

TEST_F(WebBrowserHelperTest, OnlyTheShownPageIsWatchedFromLoadToNextNavigation) {
    FakeWebBrowser browser;
    FakeDocument first;
    FakeDocument second;
    FakeWebBrowser frame;  // a frame inside the page
    FakeDocument framed;
    frame.document = &framed;
    {
        WebBrowserCtrlHelper helper(inbox.hwnd());
        helper.SetBrowser(&browser);
        EXPECT_EQ(WebBrowserCtrlHelper::kNotConnected, helper.SinkCookie());

        // The frame's document completes first; the page's own after it.
        browser.document = &first;
        Complete(helper, frame);
        EXPECT_EQ(0, framed.point.advises) << "a frame does not take the page's clicks";
        Complete(helper, browser);
        EXPECT_EQ(1, first.point.advises);
        EXPECT_EQ(first.point.nextCookie, helper.SinkCookie());
        Complete(helper, browser);
        EXPECT_EQ(1, first.point.advises) << "one connection per document";

        // A frame navigating later leaves the page watched.
        Navigating(helper, frame);
        EXPECT_NE(nullptr, first.point.sink);
        EXPECT_EQ(0, first.point.unadvises);

        // The page navigates: the sink lets go of the old document (even
        // if the browser already shows the new one) and takes the next.
        browser.document = &second;
        Navigating(helper, browser);
        EXPECT_EQ(nullptr, first.point.sink);
        EXPECT_EQ(WebBrowserCtrlHelper::kNotConnected, helper.SinkCookie());
        Complete(helper, browser);
        EXPECT_NE(nullptr, second.point.sink);

        // A document that refuses stays unwatched, and the next one is.
        Navigating(helper, browser);
        FakeDocument refusing;
        refusing.point.refuse = true;
        browser.document = &refusing;
        Complete(helper, browser);
        EXPECT_EQ(WebBrowserCtrlHelper::kNotConnected, helper.SinkCookie());
        FakeDocument plain;  // not an HTML document: no events
        plain.noEvents = true;
        browser.document = &plain;
        Complete(helper, browser);
        EXPECT_EQ(WebBrowserCtrlHelper::kNotConnected, helper.SinkCookie());
        browser.document = nullptr;
        Complete(helper, browser);
        EXPECT_EQ(WebBrowserCtrlHelper::kNotConnected, helper.SinkCookie());
        browser.document = &first;
        Complete(helper, browser);
        EXPECT_NE(nullptr, first.point.sink);
        EXPECT_EQ(0, refusing.count.Held());
        EXPECT_EQ(0, plain.count.Held());

        // Another browser object: the old one's page is no longer watched.
        FakeWebBrowser replacement;
        helper.SetBrowser(&replacement);
        EXPECT_EQ(nullptr, first.point.sink);
        EXPECT_EQ(WebBrowserCtrlHelper::kNotConnected, helper.SinkCookie());
        helper.ReleaseBrowser();
        EXPECT_EQ(0, replacement.count.Held());
    }
    // Going, the helper disconnects and gives back every reference.
    EXPECT_EQ(nullptr, first.point.sink);
    for (FakeDocument* d : {&first, &second, &framed}) {
        EXPECT_EQ(0, d->count.Held());
        EXPECT_EQ(0, d->point.count.Held());
    }
    EXPECT_EQ(0, browser.count.Held());
    EXPECT_EQ(0, frame.count.Held());
}

TEST_F(WebBrowserHelperTest, AClickAfterTheHelperWentIsHarmless) {
    FakeWebBrowser browser;
    FakeDocument document;
    browser.document = &document;
    IDispatch* sink = nullptr;
    {
        WebBrowserCtrlHelper helper(inbox.hwnd());
        helper.SetBrowser(&browser);
        Complete(helper, browser);
        sink = document.point.sink;
        ASSERT_NE(nullptr, sink);
        sink->AddRef();  // a document that still holds the sink
    }
    FakeElement post(L"post_new");
    FakeClickEvent event(&post);
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_DISPATCH;
    arg.pdispVal = &event;
    DISPPARAMS one = {&arg, nullptr, 1, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_CLICK, IID_NULL, 0, DISPATCH_METHOD, &one, &result, nullptr, nullptr));
    EXPECT_EQ(VARIANT_TRUE, result.boolVal);
    EXPECT_TRUE(inbox.Take().empty());
    sink->Release();
}

// ------------------------------------------------------------ refusals

TEST_F(WebBrowserHelperTest, NewWindowsOpenOutsideThroughTheSingleSignOn) {
    FakeWebBrowser browser;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    helper.SetBrowser(&browser);

    EXPECT_EQ(VARIANT_TRUE, NewWindow(helper, L"http://127.0.0.1:8080/sq/detail/5"));
    ASSERT_EQ(1u, g_opened.size());
    EXPECT_EQ(SynLogin().SignOnAddress(L"http://127.0.0.1:8080/sq/detail/5"), g_opened[0]);
    EXPECT_EQ(L"http://127.0.0.1:8080/sq/detail/5", g_opened[0]) << "signed out: the page itself";
    EXPECT_EQ(VARIANT_TRUE, NewWindow(helper, L"HTTPS://example.com/a"));
    EXPECT_EQ(2u, g_opened.size());
    EXPECT_TRUE(browser.navigations.empty()) << "the embedded page stays where it is";

    // What a page names is no web address: cancelled, and nothing opened.
    for (const wchar_t* address : {L"file:///C:/windows/system32/calc.exe", L"C:\\windows\\notepad.exe",
                                   L"javascript:alert(1)", L"\\\\server\\share\\x.exe", L"mailto:a@b.c",
                                   L"http://", L"httpx://h/", L"", static_cast<const wchar_t*>(nullptr)}) {
        SCOPED_TRACE(address ? shell::WideToUtf8(address) : "null");
        EXPECT_EQ(VARIANT_TRUE, NewWindow(helper, address));
    }
    EXPECT_EQ(2u, g_opened.size());

    // Without a browser there is nothing to keep: the event is left alone.
    WebBrowserCtrlHelper bare(inbox.hwnd());
    EXPECT_EQ(VARIANT_FALSE, NewWindow(bare, L"http://h/"));
    EXPECT_EQ(2u, g_opened.size());
}

TEST_F(WebBrowserHelperTest, NoContextMenuNoExternalObjectNoBorder) {
    WebBrowserCtrlHelper helper(inbox.hwnd());
    ui::BrowserEventHandler& handler = helper;
    POINT pt{10, 10};
    EXPECT_EQ(S_OK, handler.ShowContextMenu(0, &pt, nullptr, nullptr)) << "handled: no menu shown";
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(S_OK, handler.GetExternal(&external));
    EXPECT_EQ(nullptr, external);
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof(info);
    EXPECT_EQ(S_OK, handler.GetHostInfo(&info));
    EXPECT_EQ(static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER), info.dwFlags & DOCHOSTUIFLAG_NO3DBORDER);
    MSG m = {};
    EXPECT_EQ(S_FALSE, handler.TranslateAccelerator(&m, nullptr, 0)) << "the host's own keys: none";
}

// ----------------------------------------------------------------- keys

TEST_F(WebBrowserHelperTest, KeysGoToThePageThroughItsInPlaceObject) {
    FakeWebBrowser browser;
    FakeActiveObject active;
    WebBrowserCtrlHelper helper(inbox.hwnd());
    ui::IAcceleratorTranslator& keys = helper;
    MSG tab = {};
    tab.message = WM_KEYDOWN;
    tab.wParam = VK_TAB;
    EXPECT_EQ(S_FALSE, keys.TranslateAccelerator(&tab)) << "no browser";
    helper.SetBrowser(&browser);
    EXPECT_EQ(S_FALSE, keys.TranslateAccelerator(&tab)) << "no page object";
    browser.active = &active;
    EXPECT_EQ(S_OK, keys.TranslateAccelerator(&tab));
    ASSERT_EQ(1u, active.translated.size());
    EXPECT_EQ(static_cast<WPARAM>(VK_TAB), active.translated[0].wParam);
    active.answer = S_FALSE;
    EXPECT_EQ(S_FALSE, keys.TranslateAccelerator(&tab)) << "its answer is the helper's";
    EXPECT_EQ(0, active.count.Held());
}

// --------------------------------------------------------- the main window

class BrowserHelperInMainWindow : public testing_support::MainPanelTest {
protected:
    void SetUp() override {
        MainPanelTest::SetUp();
        realBrowser = true;
    }
    WebBrowserCtrlHelper* Helper() {
        auto* control = dynamic_cast<ui::BrowserControl*>(Control(L"browser"));
        return control ? dynamic_cast<WebBrowserCtrlHelper*>(control->GetEventHandler()) : nullptr;
    }
};

TEST_F(BrowserHelperInMainWindow, RegisteredAtInitAndRemovedAtClose) {
    Open();
    WebBrowserCtrlHelper* helper = Helper();
    ASSERT_NE(nullptr, helper) << "the browser's event handler";
    FakeWebBrowser browser;
    FakeActiveObject active;
    browser.active = &active;
    helper->SetBrowser(&browser);

    // A key for a window inside the browser (not one of the framework's)
    // goes to the page; the window's own keys do not.
    HWND outer = ::CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, *panel, nullptr,
                                   nullptr, nullptr);
    HWND inner = ::CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, outer, nullptr,
                                   nullptr, nullptr);
    ::PostMessageW(inner, WM_KEYDOWN, VK_TAB, 0);
    ::PostMessageW(inner, WM_CHAR, L'a', 0);
    PumpUntil([&] { return active.translated.size() >= 2; }, 2000);
    ASSERT_EQ(2u, active.translated.size());
    EXPECT_EQ(inner, active.translated[0].hwnd);
    EXPECT_EQ(static_cast<WPARAM>(VK_TAB), active.translated[0].wParam);
    ::PostMessageW(*panel, WM_KEYDOWN, VK_RIGHT, 0);
    PumpFor(100);
    EXPECT_EQ(2u, active.translated.size());
    ::DestroyWindow(outer);

    ::PostMessageW(*panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    EXPECT_FALSE(panel->GetPaintManager().RemoveTranslateAccelerator(helper)) << "removed at close";
    EXPECT_EQ(0, browser.count.Held()) << "the browser is let go";
    EXPECT_EQ(0, active.count.Held());
}

TEST_F(BrowserHelperInMainWindow, PageClicksReachTheWindow) {
    Open();
    WebBrowserCtrlHelper* helper = Helper();
    ASSERT_NE(nullptr, helper);
    FakeWebBrowser browser;
    FakeDocument document;
    browser.document = &document;
    helper->SetBrowser(&browser);
    VARIANT url;
    ::VariantInit(&url);
    VARIANT* pu = &url;
    helper->DocumentComplete(static_cast<IDispatch*>(&browser), pu);
    ASSERT_NE(nullptr, document.point.sink);

    // "web_login" while signed out opens the sign-in area.
    FakeElement login(L"web_login");
    FakeClickEvent loginClick(&login);
    EXPECT_FALSE(document.point.Click(&loginClick));
    EXPECT_TRUE(PumpUntil([&] { return Control(L"LoginLayer")->IsVisible(); }, 3000));

    // Signed in, "post_new" brings the user to the post box.
    ASSERT_TRUE(SignIn());
    PumpFor(200);
    FakeElement post(L"post_new");
    FakeClickEvent postClick(&post);
    EXPECT_FALSE(document.point.Click(&postClick));
    EXPECT_TRUE(PumpUntil([&] { return Focused() == Control(L"PostEdit"); }, 3000));
    helper->ReleaseBrowser();  // the stand-ins go with the test
}

TEST_F(BrowserHelperInMainWindow, ListHomeRequestReachesTheServiceAsTheMarkedFormPost) {
    Json::Value clock;
    clock["now"] = 1765432109;
    clock["freeze"] = true;
    standin.SetState(clock);
    SetServerTime(1765432109);
    Open();
    auto* control = dynamic_cast<ui::BrowserControl*>(Control(L"browser"));
    ASSERT_NE(nullptr, control);
    PumpUntil([&] { return control->IsCreated(); }, 3000);
    if (!control->IsCreated()) GTEST_SKIP() << "this system has no web-browser control";
    const std::string list = "/rovavoda.php/rovavoda/sq";
    ASSERT_TRUE(PumpUntil([&] { return standin.ReceivedAt(list).size() > 0; }, 15000))
        << "the browser never asked for the list page";
    const Json::Value request = standin.ReceivedAt(list)[0];
    EXPECT_EQ("POST", request["method"].asString());
    const std::string body = request["body"].asString();
    ASSERT_EQ(0u, body.rfind("from_tavo_soft=", 0)) << body;
    const std::string digits = body.substr(15);
    ASSERT_FALSE(digits.empty());
    EXPECT_EQ(std::string::npos, digits.find_first_not_of("0123456789")) << body;
    EXPECT_NEAR(1765432109.0, std::stod(digits), 60.0) << "the server clock, not the local one";
    std::string type;
    for (const auto& name : request["headers"].getMemberNames()) {
        if (_stricmp(name.c_str(), "Content-Type") == 0) type = request["headers"][name].asString();
    }
    EXPECT_EQ("application/x-www-form-urlencoded", type);
}

}  // namespace
