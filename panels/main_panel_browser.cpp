// Main window: the embedded browser's helper, set up once the layout
// exists and taken down before the window goes.
#include "panels/main_panel.h"

#include "panels/web_browser_ctrl_helper.h"
#include "ui/browser.h"

void MainPanel::AttachBrowserHelper() {
    auto* browser = Find<ui::BrowserControl>(L"browser");
    if (browser == nullptr) return;
    auto helper = std::make_unique<WebBrowserCtrlHelper>(hwnd_);
    // The control may not exist yet; it hands the helper the browser when it does.
    shell::ComPtr<IWebBrowser2> web;
    web.Attach(browser->GetIWebBrowser2());
    if (web) helper->SetBrowser(web.get());
    pm_.AddTranslateAccelerator(helper.get());
    browser->SetWebBrowserEventHandler(helper.get());
    browserHelper_ = helper.get();
    navigator_ = std::move(helper);
}

void MainPanel::DetachBrowserHelper() {
    if (browserHelper_ == nullptr) return;
    pm_.RemoveTranslateAccelerator(browserHelper_);
    // Late events of the control find no handler rather than a deleted one.
    if (auto* browser = Find<ui::BrowserControl>(L"browser"); browser && browser->GetEventHandler() == browserHelper_)
        browser->SetWebBrowserEventHandler(nullptr);
    browserHelper_->ReleaseBrowser();
    browserHelper_ = nullptr;
    navigator_.reset();
}
