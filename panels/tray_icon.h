// The client's icon in the notification area: its tooltip, balloons, the
// icon for the signed-in state, and re-adding it when Explorer restarts.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "shell/resource_ids.h"

class TrayIcon {
public:
    static constexpr UINT kId = 129;
    static constexpr UINT kSignedOutIcon = IDI_TRAY_SIGNED_OUT;
    static constexpr UINT kSignedInIcon = IDI_TRAY_SIGNED_IN;

    enum class BalloonIcon : DWORD { Information = NIIF_INFO, Warning = NIIF_WARNING };

    TrayIcon() = default;
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    bool Add(HWND owner, UINT iconResource);
    // Refills the record with the icon and modifies the existing icon.
    bool SetIcon(UINT iconResource);
    bool ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs, BalloonIcon icon);
    void Remove();
    // After the "TaskbarCreated" broadcast: the shell forgot every icon.
    bool Restore();

    static UINT TaskbarCreatedMessage();
    static std::wstring Tooltip();

    UINT IconResource() const { return iconResource_; }
    const std::wstring& LastBalloonText() const { return balloonText_; }
    const std::wstring& LastBalloonTitle() const { return balloonTitle_; }
    UINT LastBalloonTimeout() const { return balloonTimeout_; }
    int BalloonCount() const { return balloons_; }

private:
    NOTIFYICONDATAW Record(UINT flags) const;

    HWND owner_ = nullptr;
    UINT iconResource_ = 0;
    bool added_ = false;
    std::wstring balloonText_, balloonTitle_;
    UINT balloonTimeout_ = 0;
    int balloons_ = 0;
};
