#include "panels/main_window_host.h"

#include "shell/service_config.h"
#include "ui/controls.h"

std::wstring MainWindowHost::ServicePage(const wchar_t* path) { return Service().ServiceOrigin() + path; }

std::wstring MainWindowHost::WebPage(const wchar_t* path) { return Service().WebOrigin() + path; }

bool MainWindowHost::IsSelected(const wchar_t* option) {
    auto* o = Find<ui::Option>(option);
    return o != nullptr && o->IsSelected();
}

POINT MainWindowHost::ClientToScreen(int x, int y) const {
    POINT pt{x, y};
    ::ClientToScreen(Window(), &pt);
    return pt;
}

void MainWindowHost::ShowTipAtControl(ui::Control* control, const std::wstring& text, const std::wstring& colour,
                                      bool focus) {
    if (control == nullptr) return;
    if (focus) control->SetFocus();
    const RECT& rc = control->GetPos();
    const POINT pt = ClientToScreen(rc.left + 21, rc.bottom);
    ShowTip(text, pt.x, pt.y, 1, colour);
}
