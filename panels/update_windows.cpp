#include "panels/update_windows.h"

#include <ctime>
#include <cwchar>
#include <cwctype>

#include "net/shell_open.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/unique_handle.h"
#include "ui/controls.h"
#include "ui/markup.h"
#include "ui/platform.h"
#include "update/check_update.h"
#include "update/update_check_aid_busi.h"

namespace update_layout {

namespace {
FileReader g_reader = &::ReadFile;
}  // namespace

void SetFileReader(FileReader reader) { g_reader = reader ? reader : &::ReadFile; }

std::wstring PathOf(const wchar_t* file) { return CheckUpdate::UpdateFolder() + L"\\" + file; }

Refusal Consume(const std::wstring& path, std::wstring* xml) {
    xml->clear();
    std::string bytes;
    {
        shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return Refusal::kMissing;
        LARGE_INTEGER size = {};
        if (!::GetFileSizeEx(file.get(), &size)) return Refusal::kReadShort;
        if (size.QuadPart < 1) return Refusal::kEmpty;
        if (size.QuadPart > kMaxBytes) return Refusal::kTooLarge;
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        // A file cut while being read stays for whoever writes it.
        if (!g_reader(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) ||
            got != bytes.size()) {
            return Refusal::kReadShort;
        }
    }
    ::DeleteFileW(path.c_str());
    size_t start = 0;
    if (bytes.size() > 2 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    *xml = ui::Utf8ToUtf16(std::string_view(bytes).substr(start));
    // The layout builder reads text from a "<" on as markup, anything else
    // as the name of a skin file.
    size_t first = 0;
    while (first < xml->size() && std::iswspace((*xml)[first])) ++first;
    xml->erase(0, first);
    if (xml->empty() || (*xml)[0] != L'<') {
        xml->clear();
        return Refusal::kNotText;
    }
    return Refusal::kNone;
}

}  // namespace update_layout

UpdateWindow::UpdateWindow(HWND owner, const wchar_t* layoutFile, const wchar_t* className, const wchar_t* title,
                           DWORD exStyle)
    // A window made visible is activated as it is created; one that must
    // not take the focus is shown afterwards, without activation.
    : SecondaryWindow({owner, L"", className, title,
                       (exStyle & WS_EX_NOACTIVATE) != 0 ? kDialogStyle & ~WS_VISIBLE : kDialogStyle, exStyle, 0}),
      file_(layoutFile) {}

LRESULT UpdateWindow::OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    refused_ = update_layout::Consume(update_layout::PathOf(file_.c_str()), &layout_);
    if (refused_ != update_layout::Refusal::kNone) return -1;
    const LRESULT result = SecondaryWindow::OnCreate(msg, wParam, lParam, handled);
    layout_.clear();
    if (pm_.GetRoot() == nullptr) {
        refused_ = update_layout::Refusal::kNotText;
        return -1;
    }
    return result;
}

LRESULT UpdateWindow::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    CloseOnReturnOrEscape(msg, wParam, handled);
    return 0;
}

std::unique_ptr<ui::Control> UpdateWindow::CreateControl(const std::wstring&) {
    return std::make_unique<ui::VerticalLayout>();
}

void UpdateWindow::OnNotify(ui::Notification& msg) {
    if (msg.sender == nullptr) return;
    if (msg.type == L"click") {
        OnClick(msg.sender->GetName(), msg.sender);
    } else if (msg.type == L"link") {
        OnLink(msg);
    }
}

bool UpdateWindow::OnClick(const std::wstring& sender, ui::Control*) {
    if (sender != L"BtnExit") return false;
    Close(1);
    return true;
}

bool UpdateWindow::OpenAddress(const std::wstring& address) {
    // The network supplied it: only a web address is opened.
    if (!IsWebAddress(address)) return false;
    ShellOpenUrl(address, false);
    return true;
}

void UpdateWindow::ClearCompleteNotice() const {
    if (refused_ != update_layout::Refusal::kNone) return;
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"0", CheckUpdate::UpdateInfoPath().c_str());
}

// --- the update-available notice ----------------------------------------

UpdateAvailabelNotice::UpdateAvailabelNotice(HWND owner)
    : UpdateWindow(owner, update_layout::kNotice, L"zudedo_update_available_panel", L"更新提示", kExStyle) {}

void UpdateAvailabelNotice::Init() {
    // In the corner of the work area next to the notification area.
    RECT rc{};
    ::GetWindowRect(hwnd_, &rc);
    const UINT dpi = ui::DpiForWindow(hwnd_);
    const RECT at = ui::CornerNextToTray(ui::FindTrayPlace(), SIZE{rc.right - rc.left, rc.bottom - rc.top}, ui::ScaleBy(8, dpi),
                                         ui::ScaleBy(2, dpi));
    ::SetWindowPos(hwnd_, HWND_TOPMOST, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT UpdateAvailabelNotice::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    shell::UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\tavo", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          key.put(), nullptr) == ERROR_SUCCESS) {
        const std::wstring now = std::to_wstring(static_cast<long long>(std::time(nullptr)));
        ::RegSetValueExW(key.get(), L"lastUpdNotice", 0, REG_SZ, reinterpret_cast<const BYTE*>(now.c_str()),
                         static_cast<DWORD>((now.size() + 1) * sizeof(wchar_t)));
    }
    return UpdateWindow::OnClose(msg, wParam, lParam, handled);
}

bool UpdateAvailabelNotice::OnClick(const std::wstring& sender, ui::Control* control) {
    if (sender == L"BtnOK" || sender == L"CloseNotice") {
        Close(1);
        return true;
    }
    if (sender == L"LinkMore") {
        const std::wstring& data = control->GetUserData();
        if (OpenAddress(data.empty() ? MainWindowHost::WebPage(L"/soft/sq?soft") : data)) Close(1);
        return true;
    }
    return UpdateWindow::OnClick(sender, control);
}

void UpdateAvailabelNotice::OnLink(ui::Notification& msg) {
    auto* text = dynamic_cast<ui::FormattedText*>(msg.sender);
    if (text == nullptr) return;
    if (OpenAddress(text->GetLinkContent(static_cast<int>(msg.wParam)))) Close(1);
}

// --- the package-downloaded panel ----------------------------------------

UpdatePackageDownloadedPanel::UpdatePackageDownloadedPanel(HWND owner)
    : UpdateWindow(owner, update_layout::kDownloaded, L"zudedo_update_avaiable_panel", L"更新提示",
                   WS_EX_TOPMOST | WS_EX_TOOLWINDOW) {}

bool UpdatePackageDownloadedPanel::OnClick(const std::wstring& sender, ui::Control* control) {
    if (sender == L"LinkMore") {
        OpenAddress(control->GetUserData());
        return true;
    }
    if (sender == L"BtnUpdateNexttime") {
        Close(1);
        return true;
    }
    if (sender == L"BtnUpdateNow") {
        InstallNow();
        return true;
    }
    return UpdateWindow::OnClick(sender, control);
}

void UpdatePackageDownloadedPanel::InstallNow() {
    bool started = false;
    {
        // Its version request, when no package waits after all, goes with it.
        CheckUpdate checker;
        started = checker.CheckPendingUpdate();
    }
    // The client ends so that the updater can replace its files.
    if (started && GetArgs().owner != nullptr) ::PostMessageW(GetArgs().owner, msg::kQuitForUpdate, 0, 0);
    Close(1);
}

// --- the update-complete panel --------------------------------------------

UpdateCompletePanel::UpdateCompletePanel(HWND owner)
    : UpdateWindow(owner, update_layout::kComplete, L"zudedo_update_complete_panel", L"更新完成",
                   WS_EX_TOPMOST | WS_EX_TOOLWINDOW) {}

bool UpdateCompletePanel::OnClick(const std::wstring& sender, ui::Control* control) {
    if (sender == L"BtnOK") {
        Close(1);
        return true;
    }
    if (sender == L"LinkMore") {
        OpenAddress(control->GetUserData());
        return true;
    }
    return UpdateWindow::OnClick(sender, control);
}

// --- the main window's part ------------------------------------------------

UpdateWindows::UpdateWindows(MainWindowHost& host) : host_(host) {}

UpdateWindows::~UpdateWindows() = default;

void UpdateWindows::StartNoticeCheck() {
    if (noticeCheck_) return;
    noticeCheck_ = std::make_unique<UpdateCheckAidBusi>(host_.Window());
    noticeCheck_->StartNoticeCheck();
}

void UpdateWindows::EndNoticeCheck() { noticeCheck_.reset(); }

void UpdateWindows::AddRoutes(RouteTable& routes) {
    routes.messages.Add(msg::kUpdatePackageReady, [this](WPARAM, LPARAM) {
        ui::SecondaryWindow::Open<UpdatePackageDownloadedPanel>(host_.Window());
    });
    routes.messages.Add(msg::kUpdateNoticeReady, [this](WPARAM, LPARAM) {
        noticeCheck_.reset();
        ui::SecondaryWindow::Open<UpdateAvailabelNotice>(host_.Window());
    });
}

void UpdateWindows::ShowCompleteIfDue() {
    if (::GetPrivateProfileIntW(L"UpdateInfo", L"UpdateCompleteNotice", 0, CheckUpdate::UpdateInfoPath().c_str()) !=
        1) {
        return;
    }
    if (::GetFileAttributesW(update_layout::PathOf(update_layout::kComplete).c_str()) == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    ui::SecondaryWindow::Open<UpdateCompletePanel>(host_.Window());
}
