#include "panels/tray_icon.h"

#include <cwchar>

#include "shell/messages.h"

namespace {

HICON LoadTrayIcon(UINT resource) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                           LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

std::wstring TrayIcon::Tooltip() { return L"TAVO 航讯宝\n \u2014 云帆商务台"; }

UINT TrayIcon::TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

NOTIFYICONDATAW TrayIcon::Record(UINT flags) const {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = kId;
    data.uFlags = flags;
    data.uCallbackMessage = msg::kTrayIcon;
    data.hIcon = LoadTrayIcon(iconResource_);
    wcsncpy(data.szTip, Tooltip().c_str(), _countof(data.szTip) - 1);
    return data;
}

bool TrayIcon::Add(HWND owner, UINT iconResource) {
    owner_ = owner;
    iconResource_ = iconResource;
    NOTIFYICONDATAW data = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    added_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    return added_;
}

bool TrayIcon::SetIcon(UINT iconResource) {
    iconResource_ = iconResource;
    if (!added_) return false;  // Add shows it with this icon
    NOTIFYICONDATAW data = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool TrayIcon::ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs, BalloonIcon icon) {
    balloonText_ = text;
    balloonTitle_ = title;
    balloonTimeout_ = timeoutMs;
    ++balloons_;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = kId;
    data.uFlags = NIF_INFO;
    wcsncpy(data.szInfo, text.c_str(), 255);
    wcsncpy(data.szInfoTitle, title.c_str(), 63);
    data.uTimeout = timeoutMs;
    data.dwInfoFlags = static_cast<DWORD>(icon);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void TrayIcon::Remove() {
    if (owner_ == nullptr) return;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = kId;
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    added_ = false;
    owner_ = nullptr;
}

bool TrayIcon::Restore() {
    if (owner_ == nullptr) return false;
    NOTIFYICONDATAW data = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    added_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    return added_;
}
