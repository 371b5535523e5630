// What the main window asks of the embedded browser: open a service page,
// show the built-in offline page, reload. Kept behind this small seam so
// the window's logic runs where no HTML engine exists.
#pragma once

#include <string>

class BrowserNavigator {
public:
    virtual ~BrowserNavigator() = default;
    virtual void OpenPage(const std::wstring& address) = 0;
    virtual void ShowOfflinePage() = 0;
    virtual void ReloadPage() = 0;
};
