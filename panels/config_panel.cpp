#include "panels/config_panel.h"

#include "shell/app_settings.h"
#include "shell/messages.h"
#include "ui/controls.h"

ConfigPanel::ConfigPanel(HWND owner)
    : SecondaryWindow({owner, kLayout, kClassName, kTitle, kDialogStyle, WS_EX_TOOLWINDOW, msg::kConfigPanelClosed}) {}

void ConfigPanel::Init() {
    const AppSettings& s = Settings();
    // With notification, as a click would: ticking keep-on-top applies it
    // to the main window once more, which changes nothing.
    const struct {
        const wchar_t* option;
        bool value;
    } shown[] = {
        {L"OpRunStartUp", s.autoRun},
        {L"OpAutoLogin", s.autoLogin},
        {L"OpInquiryInVoice", s.playVoiceOnInquiry},
        {L"OpExitBtnDoHide", s.exitButtonHides},
        {L"OpTopmost", s.mainPanelTopmost},
    };
    for (const auto& item : shown) {
        if (auto* option = dynamic_cast<ui::Option*>(pm_.FindControl(item.option))) option->Selected(item.value, true);
    }
    if (ui::Control* first = pm_.FindControl(L"OpRunStartUp")) pm_.SetFocus(first);
}

bool ConfigPanel::Ticked(const wchar_t* option) {
    auto* o = dynamic_cast<ui::Option*>(pm_.FindControl(option));
    return o != nullptr && o->IsSelected();
}

void ConfigPanel::OnNotify(ui::Notification& msg) {
    const std::wstring& sender = msg.sender != nullptr ? msg.sender->GetName() : std::wstring();
    if (msg.type == L"selectchanged" && sender == L"OpTopmost") {
        ::SetWindowPos(GetArgs().owner, Ticked(L"OpTopmost") ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else if (msg.type == L"click" && sender == L"BtnExit") {
        Close(1);
    }
}

LRESULT ConfigPanel::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    // Taken when it closes: Return would also flip the focused check box,
    // and the window would store the flipped state.
    CloseOnReturnOrEscape(msg, wParam, handled);
    return 0;
}

void ConfigPanel::Store() {
    AppSettings& s = Settings();
    // The run entry first: "AutoRun" records what really happened to it.
    if (Ticked(L"OpRunStartUp")) {
        s.EnableAutoRun();
    } else {
        s.DisableAutoRun();
    }
    s.autoLogin = Ticked(L"OpAutoLogin");
    s.exitButtonHides = Ticked(L"OpExitBtnDoHide");
    s.WriteInt(L"Main", L"ExitBtnDoHide", s.exitButtonHides ? 1 : 0);
    s.WriteInt(L"Main", L"AutoLogin", s.autoLogin ? 1 : 0);
    s.playVoiceOnInquiry = Ticked(L"OpInquiryInVoice");
    s.WriteInt(L"Main", L"PlayVoiceWhenInquiryIn", s.playVoiceOnInquiry ? 1 : 0);
    s.mainPanelTopmost = Ticked(L"OpTopmost");
    s.WriteInt(L"Main", L"MainPanelTopmost", s.mainPanelTopmost ? 1 : 0);
}

LRESULT ConfigPanel::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // Once: a second close request finds the window already going.
    if (!IsClosing()) Store();
    return SecondaryWindow::OnClose(msg, wParam, lParam, handled);
}
