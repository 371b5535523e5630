#include "panels/post_rule_panel.h"

#include "api/open_url_syn_login.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "ui/controls.h"

PostRulePanel::PostRulePanel(HWND owner)
    // The title is not shown (the window has no caption); a screen reader
    // announces the window by it.
    : SecondaryWindow({owner, L"post_rule.xml", kClassName, L"发布规则", kDialogStyle,
                       WS_EX_TOPMOST | WS_EX_TOOLWINDOW, msg::kPostRulePanelClosed, true}) {}

LRESULT PostRulePanel::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    CloseOnReturnOrEscape(msg, wParam, handled);
    return 0;
}

void PostRulePanel::OnNotify(ui::Notification& msg) {
    if (msg.type != L"click" || msg.sender == nullptr) return;
    const std::wstring& name = msg.sender->GetName();
    if (name == L"BtnAccept") {
        // For this session only: the service is never told.
        Settings().postedFlag = true;
        Close(1);
    } else if (name == L"BtnExit") {
        Close(1);
    } else if (name == L"BtnMore") {
        SynLogin().OpenUrl(Service().WebOrigin() + kRulesPage);
    }
}
