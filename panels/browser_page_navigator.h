// The navigator of the real window: drives the skin's browser control.
#pragma once

#include "panels/browser_navigator.h"

namespace ui {
class BrowserControl;
}

class BrowserPageNavigator : public BrowserNavigator {
public:
    explicit BrowserPageNavigator(ui::BrowserControl* browser) : browser_(browser) {}

    void OpenPage(const std::wstring& address) override;
    // The page built into the program (resource IDR_OFFLINE_HTML).
    void ShowOfflinePage() override;
    void ReloadPage() override;

    static std::wstring OfflinePageAddress();

private:
    ui::BrowserControl* browser_;  // owned by the window's control tree
};
