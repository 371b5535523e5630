#include "panels/browser_page_navigator.h"

#include <exdisp.h>

#include "shell/module_path.h"
#include "shell/resource_ids.h"
#include "shell/text.h"
#include "ui/browser.h"

std::wstring BrowserPageNavigator::OfflinePageAddress() {
    return shell::FormatW(L"res://%s/%d", shell::ModulePath().c_str(), IDR_OFFLINE_HTML);
}

void BrowserPageNavigator::OpenPage(const std::wstring& address) {
    if (browser_) browser_->Navigate(address);
}

void BrowserPageNavigator::ShowOfflinePage() {
    if (browser_) browser_->Navigate(OfflinePageAddress());
}

void BrowserPageNavigator::ReloadPage() {
    if (browser_ == nullptr) return;
    if (IWebBrowser2* web = browser_->GetIWebBrowser2()) {
        web->Refresh();
        web->Release();
    }
}
