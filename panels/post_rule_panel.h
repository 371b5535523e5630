// The posting rules: one picture with the rules, the button that accepts
// them for the rest of the session, and the one that opens the detailed
// rules page. The main window shows it instead of posting until the user
// has accepted.
#pragma once

#include <windows.h>

#include "ui/secondary_window.h"

class PostRulePanel : public ui::SecondaryWindow {
public:
    static constexpr wchar_t kClassName[] = L"zudedo_post_rule_panel";
    static constexpr wchar_t kRulesPage[] = L"/blog/lb_info/3761";

    // Owned by `owner` (the main window), which hears of its closing.
    explicit PostRulePanel(HWND owner);

    // Return or Escape closes without accepting; Return on a focused
    // button is that button's own click. Nothing is consumed.
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    ~PostRulePanel() override = default;
    void OnNotify(ui::Notification& msg) override;
};
