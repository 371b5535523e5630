// The settings window: five of the user's settings as check boxes and a
// pair of radio options. Keep-on-top is applied to the main window as soon
// as it is ticked; everything is stored when the window closes, however it
// closes (there is no cancel).
#pragma once

#include <windows.h>

#include "ui/secondary_window.h"

namespace ui {
class Option;
}

class ConfigPanel : public ui::SecondaryWindow {
public:
    static constexpr wchar_t kLayout[] = L"config_panel.xml";
    static constexpr wchar_t kClassName[] = L"zudedo_config_panel";
    static constexpr wchar_t kTitle[] = L"设置";

    // `owner` is the main window: told of the closing, and the window that
    // keep-on-top applies to.
    explicit ConfigPanel(HWND owner);

    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void Init() override;
    void OnNotify(ui::Notification& msg) override;
    bool Ticked(const wchar_t* option);
    void Store();
};
