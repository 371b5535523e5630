// Main window: construction, placement, the message table, the tip banner,
// the login layer with sign-in, failure and sign-out, and shutdown.
#include "panels/main_panel.h"

#include "api/login_busi.h"
#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "panels/browser_page_navigator.h"
#include "ui/browser.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/notice_banner.h"

namespace {

// "RRGGBB" is opaque; "AARRGGBB" says its own alpha.
DWORD TipColour(const std::wstring& text) {
    DWORD value = static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 16));
    return text.size() <= 6 ? (0xFF000000u | value) : value;
}

}  // namespace

MainPanel::MainPanel() { AddRoutes(); }

MainPanel::~MainPanel() = default;

void MainPanel::SetNavigator(std::unique_ptr<BrowserNavigator> navigator) { navigator_ = std::move(navigator); }

LRESULT MainPanel::OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // Adding the icon costs tens of milliseconds on some desktops; a timer
    // fires only once the window has painted, so it does not delay that.
    StartTimer(kAddTrayIconTimer);
    return SkinWindow::OnCreate(msg, wParam, lParam, handled);
}

void MainPanel::Init() {
    PlaceWindow();
    ModifyStyle(WS_MAXIMIZEBOX, 0);
    if (!navigator_) {
        if (auto* browser = Find<ui::BrowserControl>(L"browser")) {
            navigator_ = std::make_unique<BrowserPageNavigator>(browser);
        }
    }
    if (navigator_) OpenListHome(L"");
    LookUpControls();
    if (postEdit_) postEdit_->SetEventMask(ENM_CHANGE | ENM_REQUESTRESIZE);
    FillLoginLayer();

    monitor_ = std::make_unique<ReachabilityMonitor>();
    monitor_->SetInterval(periods_.reachability);
    monitor_->StartMonitor(hwnd_);
    mainBusi_ = std::make_unique<MainBusi>(hwnd_);
    loginBusi_ = std::make_unique<LoginBusi>(hwnd_);
    msgCenterBusi_ = std::make_unique<MsgCenterBusi>(hwnd_);
    subscribeBusi_ = std::make_unique<SubscribeBusi>(hwnd_);
    StartTimer(kNoticeCheckTimer);
}

void MainPanel::PlaceWindow() {
    RECT saved;
    if (Settings().SavedWindowPlacement(saved)) {
        ::SetWindowPos(hwnd_, nullptr, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    CenterWindow();
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
    const int workHeight = mi.rcWork.bottom - mi.rcWork.top;
    const int wanted = workHeight > 900 ? 800 : static_cast<int>(workHeight * 0.8);
    SIZE init = pm_.GetInitSize();
    if (wanted != init.cy) {
        pm_.SetInitSize(init.cx, wanted);
        ::SetWindowPos(hwnd_, nullptr, 0, 0, init.cx, wanted, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    pm_.SetMaxInfo(pm_.GetMaxInfo().cx, workHeight);
}

void MainPanel::LookUpControls() {
    avatar_ = pm_.FindControl(L"avatar");
    labelLxsname_ = Find<ui::Label>(L"LabelLxsname");
    labelUsername_ = Find<ui::Label>(L"LabelUsername");
    notLoggedUser_ = pm_.FindControl(L"NotLoggedUser");
    btnHideFull_ = pm_.FindControl(L"BtnHideFull");
    multiLayer_ = pm_.FindControl(L"MultiLayerContainer");
    postEdit_ = Find<ui::RichEdit>(L"PostEdit");
    postNotice_ = pm_.FindControl(L"PostNotice");
    restWordCount_ = Find<ui::Label>(L"RestWordCount");
    loginLayer_ = pm_.FindControl(L"LoginLayer");
    editUsername_ = Find<ui::Edit>(L"EditUsername");
    editPassword_ = Find<ui::Edit>(L"EditPassword");
    optionSavePsw_ = Find<ui::Option>(L"OptionSavePSW");
    optionAutoLogin_ = Find<ui::Option>(L"OptionAutoLogin");
    inputUsernameNotice_ = pm_.FindControl(L"InputUsernameNotice");
    inputPasswordNotice_ = pm_.FindControl(L"InputPasswordNotice");
}

CredentialBoxes MainPanel::Boxes() const {
    CredentialBoxes boxes;
    if (editUsername_) boxes.userName = editUsername_->GetText();
    if (editPassword_) boxes.password = editPassword_->GetText();
    boxes.keep = optionSavePsw_ && optionSavePsw_->IsSelected();
    boxes.autoLogin = optionAutoLogin_ && optionAutoLogin_->IsSelected();
    return boxes;
}

void MainPanel::SetBoxes(const CredentialBoxes& boxes) {
    if (editUsername_ && editUsername_->GetText() != boxes.userName) editUsername_->SetText(boxes.userName);
    if (editPassword_ && editPassword_->GetText() != boxes.password) editPassword_->SetText(boxes.password);
    if (optionSavePsw_) optionSavePsw_->Selected(boxes.keep, false);
    if (optionAutoLogin_) optionAutoLogin_->Selected(boxes.autoLogin, false);
}

void MainPanel::FillLoginLayer() {
    CredentialBoxes boxes = Boxes();
    LoadStartCredentials(Settings(), boxes);
    SetBoxes(boxes);
    if (inputUsernameNotice_) inputUsernameNotice_->SetVisible(boxes.userName.empty());
    if (inputPasswordNotice_) inputPasswordNotice_->SetVisible(boxes.password.empty());
}

void MainPanel::ShowTip(const std::wstring& text, int x, int y, int type, const std::wstring& colour) {
    pendingTip_ = Tip{text, x, y, type, TipColour(colour)};
    PostMessageW(msg::kShowPendingTip);
}

void MainPanel::OnPendingTip() {
    lastTip_ = pendingTip_;
    const POINT pt{pendingTip_.x, pendingTip_.y};
    const int type = pendingTip_.type;
    if (banner_ && ::IsWindow(bannerWindow_)) {
        banner_->UpdateNoticeWith(pendingTip_.text, pt, type, pendingTip_.colour, 5000);
        return;
    }
    // A banner whose window is gone has deleted itself, even if its closing
    // message is still on its way.
    banner_ = new ui::NoticeBanner(ui::NoticeBanner::Action{0, msg::kTipBannerClosed, hwnd_});
    bannerWindow_ = banner_->InitNoticeWith(hwnd_, pendingTip_.text, pt, type, pendingTip_.colour, 5000);
}

void MainPanel::HideBanner() {
    if (banner_ && ::IsWindow(bannerWindow_) && ::IsWindowVisible(bannerWindow_)) ::ShowWindow(bannerWindow_, SW_HIDE);
}

void MainPanel::ExpandTitleArea() {
    auto* full = pm_.FindControl(L"TitleInfoPanelFull");
    if (full == nullptr || full->IsVisible()) return;
    SetTitleAreaFull(true);
}

void MainPanel::ShowLoginLayer() {
    ExpandTitleArea();
    if (loginLayer_ == nullptr || loginLayer_->IsVisible()) return;
    loginLayer_->SetVisible(true);
    if (editUsername_) {
        // As if the user clicked into the name box.
        pm_.UpdateLayout();
        const RECT& rc = editUsername_->GetPos();
        LPARAM at = MAKELPARAM(rc.left + 20, rc.top + 7);
        PostMessageW(WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(WM_LBUTTONUP, MK_LBUTTON, at);
    }
}

void MainPanel::HideLoginLayer() {
    CredentialBoxes boxes = Boxes();
    if (HideLoginLayerCredentials(Settings(), boxes)) {
        SetBoxes(boxes);
        if (editUsername_) editUsername_->SetFocus();
    }
    if (loginLayer_) loginLayer_->SetVisible(false);
    pm_.SetFocus(nullptr);
}

bool MainPanel::StartLogin() {
    CredentialBoxes boxes = Boxes();
    if (boxes.userName.empty() || boxes.password.empty()) return false;
    return StartLogin(boxes.userName, boxes.password);
}

bool MainPanel::StartLogin(const std::wstring& userName, const std::wstring& password) {
    if (loginBusi_) {
        loginBusi_->Login(userName, password);
        loginRunning_ = true;
    }
    if (auto* loading = pm_.FindControl(L"LayoutLoginLoading")) loading->SetVisible(true);
    if (auto* close = pm_.FindControl(L"BtnHideLoginLayer")) close->SetToolTip(L"取消登录");
    return true;
}

void MainPanel::OnLoginButton() {
    if (reachability_ == 0 && loginLayer_) {
        const RECT& rc = loginLayer_->GetPos();
        POINT pt = ClientToScreen((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2 + rc.top - 5);
        ShowTip(kOfflineText, pt.x, pt.y, 0, kHintColour);
        return;
    }
    if (editUsername_ && editUsername_->GetText().empty()) {
        ShowTipAtControl(editUsername_, L"请您输入账号后再登录", kHintColour, true);
        return;
    }
    if (editPassword_ && editPassword_->GetText().empty()) {
        ShowTipAtControl(editPassword_, L"请您输入密码后再登录", kHintColour, true);
        return;
    }
    if (editPassword_ && editPassword_->IsFocused() && labelUsername_) labelUsername_->SetFocus();
    StartLogin();
}

void MainPanel::OnLoginResult(WPARAM ok, LPARAM code) {
    loginRunning_ = false;
    if (auto* close = pm_.FindControl(L"BtnHideLoginLayer")) close->SetToolTip(L"关闭登录层");
    if (auto* loading = pm_.FindControl(L"LayoutLoginLoading")) loading->SetVisible(false);
    if (auto* ctrls = pm_.FindControl(L"LayoutLoginCtrls")) ctrls->SetVisible(true);
    if (ok == 1) {
        OnLoginSucceeded();
    } else if (ok == 0) {
        OnLoginFailed(static_cast<int>(code));
    }
}

void MainPanel::OnLoginSucceeded() {
    AppSettings& s = Settings();
    // The account that just signed in, before anything uses it: the web
    // site login must not go out with the previous user's name or password.
    StoreLoginCredentials(s, Boxes());
    if (mainBusi_) mainBusi_->WebLogin();
    StartTimer(kWebLoginTimer);
    SynLogin().RequestToken();
    StartTimer(kTokenTimer);
    SetTrayIcon(TrayIcon::kSignedInIcon);
    s.SetUserSession(true);
    s.LoadLastReadTime();
    // Not the rules of a user closing the layer: those forget an unkept
    // password, which the web site login and a relogin still need.
    if (loginLayer_) loginLayer_->SetVisible(false);
    pm_.SetFocus(nullptr);
    if (notLoggedUser_) {
        notLoggedUser_->SetVisible(false);
        notLoggedUser_->SetEnabled(false);
    }
    if (labelUsername_) {
        labelUsername_->SetText(s.contactName);
        labelUsername_->SetFixedWidth(labelUsername_->MeasureText(s.contactName).cx + labelUsername_->Scale(5));
    }
    if (labelLxsname_) labelLxsname_->SetText(s.title);
    if (mainBusi_) mainBusi_->DownloadAvatar();
    OpenSelectedPersonalPage();
    if (subscribeBusi_) {
        subscribeBusi_->RequestProvinceList();
        subscribeBusi_->StartPolling();
    }
    if (msgCenterBusi_) {
        msgCenterBusi_->RequestNewMessageCount();
        msgCenterBusi_->RequestImportantNotices();
    }
    StartTimer(kMessagesTimer);
    if (mainBusi_) mainBusi_->ReportLogin();
}

void MainPanel::OnLoginFailed(int code) {
    if (loginLayer_ && !loginLayer_->IsVisible()) ShowLoginLayer();
    const wchar_t* tip = nullptr;
    ui::Control* at = editUsername_;
    bool clearPassword = false;
    switch (code) {
        case 0:
            ShowBalloon(kOfflineText, L"网络异常", 3000, TrayIcon::BalloonIcon::Warning);
            return;
        case -1:
            tip = L"输入用户名不存在";
            clearPassword = true;
            break;
        case -2:
            tip = L"输入密码错误";
            at = editPassword_;
            clearPassword = true;
            break;
        case -3:
            tip = L"您还不是联程网的会员";
            clearPassword = true;
            break;
        case -4:
            tip = L"该账号还未激活，请登录邮箱激活";
            break;
        case -5:
            tip = L"该邮箱还未激活，请登录邮箱激活";
            break;
        default:
            return;
    }
    ShowTipAtControl(at, tip, kErrorColour, true);
    if (clearPassword) {
        if (editPassword_) editPassword_->SetText(L"");
        Settings().password.clear();
    }
}

void MainPanel::Logout() {
    AppSettings& s = Settings();
    for (Timer id : {kMessagesTimer, kSlowMessagesTimer, kTokenTimer, kWebLoginTimer}) StopTimer(id);
    // The web site login stops too: no signed-out password goes out again.
    if (mainBusi_) mainBusi_->CancelWebLogin();
    if (subscribeBusi_) {
        subscribeBusi_->StopPolling();
        subscribeBusi_->ResetNewInquiryTotal();
    }
    SetTrayIcon(TrayIcon::kSignedOutIcon);
    if (mainBusi_) mainBusi_->ReportLogout();
    s.SetUserSession(false);
    s.uid = 0;
    s.SaveLastReadTime();
    s.postedFlag = false;
    if (labelUsername_) labelUsername_->SetText(L"");
    if (labelLxsname_) labelLxsname_->SetText(L"");
    SelectListHome();
    ShowLoginLayer();
    if (avatar_) avatar_->SetBkImage(L"file='avatar_example.png'");
    if (notLoggedUser_) {
        notLoggedUser_->SetVisible(true);
        notLoggedUser_->SetEnabled(true);
    }
}

void MainPanel::OnServerTimeKnown() {
    // The clock is set again after every outage; the automatic login is for
    // a client that is not signed in and not already signing in.
    if (Settings().autoLogin && !Settings().signedIn && !loginRunning_) {
        ShowLoginLayer();
        StartLogin();
    }
    if (mainBusi_) mainBusi_->GetPostCounts();
    StartTimer(kCountsTimer);
    if (mainBusi_ && !startupReported_) {
        startupReported_ = true;
        mainBusi_->ReportStartup();
    }
}

void MainPanel::OnAvatarSaved() {
    if (avatar_ == nullptr) return;
    const std::wstring file = Settings().UserFilePath(L"avatar.png");
    if (!avatar_->SetBkImage(L"file='" + file + L"'")) {
        // The same file came again: read it afresh.
        pm_.ReloadImage(file);
        avatar_->Invalidate();
    }
}

void MainPanel::OnWebLoginRequest() {
    if (!Settings().signedIn || webLoginReloaded_) {
        webLoginReloaded_ = false;
        ShowLoginLayer();
        return;
    }
    webLoginReloaded_ = true;
    if (navigator_) navigator_->ReloadPage();
}

void MainPanel::OpenServicePage(const std::wstring& address) {
    if (!navigator_) return;
    if (reachability_ == 0) {
        navigator_->ShowOfflinePage();
    } else {
        navigator_->OpenPage(address);
    }
}

void MainPanel::OnLoginBoxFocus(ui::Control* box, bool gained) {
    ui::Control* notice = box == editUsername_ ? inputUsernameNotice_ : inputPasswordNotice_;
    auto* edit = static_cast<ui::Edit*>(box);
    if (gained) {
        if (notice) notice->SetVisible(false);
        edit->SetSelAll();
        if (box == editPassword_ && (::GetKeyState(VK_CAPITAL) & 1)) ShowCapsLockTip();
    } else if (notice && edit->GetText().empty()) {
        notice->SetVisible(true);
    }
}

void MainPanel::OnHideLoginLayerButton(ui::Control* button) {
    auto* loading = pm_.FindControl(L"LayoutLoginLoading");
    if (loading && loading->IsVisible()) {
        // The request keeps running; its result is still handled.
        loading->SetVisible(false);
        if (auto* ctrls = pm_.FindControl(L"LayoutLoginCtrls")) ctrls->SetVisible(true);
        button->SetToolTip(L"关闭登录层");
    } else {
        HideLoginLayer();
    }
}

void MainPanel::OnCredentialOption(bool autoOption) {
    CredentialBoxes boxes = Boxes();
    if (autoOption) {
        SetAutoOption(boxes, boxes.autoLogin);
    } else {
        SetKeepOption(boxes, boxes.keep);
    }
    SetBoxes(boxes);
}

void MainPanel::ShowCapsLockTip() { ShowTipAtControl(editPassword_, L"大写锁定已打开", kCapsColour, false); }

LRESULT MainPanel::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    AppSettings& s = Settings();
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    if (s.signedIn) {
        s.SaveLastReadTime();
        if (mainBusi_) mainBusi_->ReportLogout();
    }
    if (mainBusi_) mainBusi_->ReportExit();
    ShutdownCredentials(s, Boxes());
    loginBusi_.reset();
    mainBusi_.reset();
    msgCenterBusi_.reset();
    subscribeBusi_.reset();
    if (banner_ && ::IsWindow(bannerWindow_)) ::DestroyWindow(bannerWindow_);
    banner_ = nullptr;
    RECT rc;
    if (::GetWindowRect(hwnd_, &rc)) s.SaveWindowPlacement(rc);
    trayMenus_.RemoveIcon();
    navigator_.reset();
    ::PostQuitMessage(0);
    handled = false;
    return 0;
}
