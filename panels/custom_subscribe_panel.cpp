#include "panels/custom_subscribe_panel.h"

#include "shell/app_settings.h"
#include "shell/messages.h"
#include "ui/controls.h"

// GB/T 2260 codes of the provinces; 99, 100 and 101 are the service's own.
const CustomSubscribePanel::Region CustomSubscribePanel::kRegions[34] = {
    {L"OpBeijing", 11},      {L"OpTianjin", 12},   {L"OpHebei", 13},      {L"OpShanxi", 14},
    {L"OpNeimenggu", 15},    {L"OpLiaoning", 21},  {L"OpJiling", 22},     {L"OpHeilongjiang", 23},
    {L"OpShanghai", 31},     {L"OpJiangsu", 32},   {L"OpZhejiang", 33},   {L"OpAnhui", 34},
    {L"OpFujian", 35},       {L"OpJiangxi", 36},   {L"OpShandong", 37},   {L"OpHenan", 41},
    {L"OpHubei", 42},        {L"OpHunan", 43},     {L"OpGuangdong", 44},  {L"OpGuangxi", 45},
    {L"OpHainan", 46},       {L"OpChongqing", 50}, {L"OpSichuan", 51},    {L"OpGuizhou", 52},
    {L"OpYunnan", 53},       {L"OpXizang", 54},    {L"OpSShanxi", 61},    {L"OpGansu", 62},
    {L"OpQinghai", 63},      {L"OpNingxia", 64},   {L"OpXinjiang", 65},   {L"OpAbroad", 99},
    {L"OpGangaotai", 100},   {L"OpQita", 101},
};

namespace {

bool IsAbroad(const wchar_t* option) { return std::wstring_view(option) == CustomSubscribePanel::kAbroad; }

}  // namespace

CustomSubscribePanel::CustomSubscribePanel(HWND owner)
    : SecondaryWindow({owner, kLayout, kClassName, kTitle, kDialogStyle, WS_EX_TOOLWINDOW, msg::kSubscribePanelClosed}) {}

ui::Option* CustomSubscribePanel::OptionOf(const wchar_t* name) {
    return dynamic_cast<ui::Option*>(pm_.FindControl(name));
}

void CustomSubscribePanel::Select(const wchar_t* name, bool selected, bool notify) {
    if (ui::Option* option = OptionOf(name)) option->Selected(selected, notify);
}

void CustomSubscribePanel::Init() {
    const AppSettings& s = Settings();
    const std::wstring& list = s.provinceList;
    if (!s.signedIn || list.empty() || list == L"-1") {
        Select(kAll, false, true);
    } else if (list == L"0") {
        Select(kAll, true, true);
    } else {
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(L',', start);
            if (comma == std::wstring::npos) comma = list.size();
            const std::wstring piece = list.substr(start, comma - start);
            start = comma + 1;
            if (piece.empty()) continue;
            wchar_t* end = nullptr;
            const long code = wcstol(piece.c_str(), &end, 10);
            // Codes the table does not know are skipped.
            if (end == nullptr || *end != L'\0') continue;
            for (const Region& r : kRegions) {
                if (r.code == code) Select(r.option, true, true);
            }
        }
    }
    if (ui::Control* all = pm_.FindControl(kAll)) pm_.SetFocus(all);
}

void CustomSubscribePanel::OnNotify(ui::Notification& msg) {
    if (msg.sender == nullptr) return;
    const std::wstring& sender = msg.sender->GetName();
    if (msg.type == L"selectchanged") {
        ui::Option* all = OptionOf(kAll);
        if (all == nullptr) return;
        if (sender == kAll) {
            // The whole country is every region but abroad.
            const bool on = all->IsSelected();
            for (const Region& r : kRegions) {
                if (!IsAbroad(r.option)) Select(r.option, on, true);
            }
            return;
        }
        auto* option = dynamic_cast<ui::Option*>(msg.sender);
        // One region out makes it no longer the whole country; the others
        // stay as they are. Abroad is not part of it.
        if (all->IsSelected() && option != nullptr && !option->IsSelected() && sender != kAbroad) {
            all->Selected(false, false);
        }
    } else if (msg.type == L"click") {
        if (sender == L"BtnOK") {
            Save();
            Close(1);
        } else if (sender == L"BtnCancel" || sender == L"BtnExit") {
            Close(1);
        }
    }
}

std::wstring CustomSubscribePanel::BuildProvinceList() {
    ui::Option* all = OptionOf(kAll);
    if (all != nullptr && all->IsSelected()) return L"0";
    std::wstring list;
    for (const Region& r : kRegions) {
        ui::Option* option = OptionOf(r.option);
        if (option != nullptr && option->IsSelected()) list += std::to_wstring(r.code) + L",";
    }
    return list.empty() ? L"-1" : list;
}

void CustomSubscribePanel::Save() { Settings().provinceList = BuildProvinceList(); }

LRESULT CustomSubscribePanel::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    // Return saves, unless it presses a focused button (on "取消修改" it
    // must not save).
    if (msg == WM_KEYDOWN && wParam == VK_RETURN && !IsClosing() && !ReturnPressesFocusedButton() &&
        Settings().signedIn) {
        Save();
    }
    CloseOnReturnOrEscape(msg, wParam, handled);
    return 0;
}

void CustomSubscribePanel::ShowTip(const std::wstring& text, DWORD rgb, UINT ms) {
    tip_ = Tip{text, rgb, ms};
    // Asked again before it showed: it still shows on the first schedule.
    if (!tipPending_) tipPending_ = ::SetTimer(hwnd_, kTipTimer, kTipDelayMs, nullptr) != 0;
}

LRESULT CustomSubscribePanel::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    handled = false;
    if (msg == WM_TIMER && wParam == kTipTimer) {
        handled = true;
        OnTipTimer();
    }
    return 0;
}

void CustomSubscribePanel::OnTipTimer() {
    ::KillTimer(hwnd_, kTipTimer);
    tipPending_ = false;
    RECT client;
    ::GetClientRect(hwnd_, &client);
    POINT at{(client.right - client.left) / 2 + pm_.Scale(18), pm_.Scale(38)};
    ::ClientToScreen(hwnd_, &at);
    const DWORD colour = 0xFF000000u | (tip_.rgb & 0xFFFFFFu);
    if (ui::NoticeBanner* shown = banner_.Get()) {
        shown->UpdateNoticeWith(tip_.text, at, ui::kNoticeSimple, colour, tip_.ms);
        return;
    }
    // Owned by this window: it goes when the window goes.
    auto* banner = new ui::NoticeBanner(ui::NoticeBanner::Action{});
    if (banner->InitNoticeWith(hwnd_, tip_.text, at, ui::kNoticeSimple, colour, tip_.ms) != nullptr) banner_ = banner;
}
