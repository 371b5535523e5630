#include "panels/login_layer.h"

#include "api/login_busi.h"
#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "net/shell_open.h"
#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "ui/controls.h"
#include "ui/native_controls.h"

namespace {

const wchar_t kCloseTip[] = L"关闭登录层";
const wchar_t kCancelTip[] = L"取消登录";
// Said at the login button as well as in the balloon, which is easy to miss.
const wchar_t kNetworkFailureTip[] = L"网络异常，请检查网络后重试";

// A refused login: the tip, the box it points at, and whether the password
// is emptied (in the box and in memory).
struct Refusal {
    int code;
    const wchar_t* tip;
    bool atPassword;
    bool clearsPassword;
};

const Refusal kRefusals[] = {
    {-1, L"输入用户名不存在", false, true},
    {-2, L"输入密码错误", true, true},
    {-3, L"您还不是联程网的会员", false, true},
    {-4, L"该账号还未激活，请登录邮箱激活", false, false},
    {-5, L"该邮箱还未激活，请登录邮箱激活", false, false},
};

}  // namespace

void LoginLayer::AddRoutes(RouteTable& routes) {
    MessageRoutes& m = routes.messages;
    m.Add(msg::kLoginResult, [this](WPARAM ok, LPARAM code) { OnResult(ok, code); });
    m.Add(msg::kAvatarSaved, [this](WPARAM, LPARAM) { OnAvatarSaved(); });

    NotifyRoutes& n = routes.notifications;
    n.Add(L"click", L"BtnHideLoginLayer", [this](ui::Notification&) { OnCloseButton(); });
    n.Add(L"click", L"BtnLogin", [this](ui::Notification&) { OnLoginButton(); });
    n.Add(L"click", L"NotLoggedUser", [this](ui::Notification&) { Show(); });
    n.Add(L"click", L"avatarFrame", [this](ui::Notification&) { OnAvatarFrame(); });
    n.Add(L"click", L"MsgCenter", [this](ui::Notification&) { OnMessageCentreButton(); });
    n.Add(L"click", L"LinkForgetPSW", [](ui::Notification&) {
        ShellOpenUrl(MainWindowHost::WebPage(L"/reg/getback_pass"), false);
    });
    n.Add(L"click", L"LinkSignUp", [](ui::Notification&) {
        ShellOpenUrl(MainWindowHost::WebPage(L"/intro?from_soft"), false);
    });
    for (const wchar_t* box : {L"EditUsername", L"EditPassword"}) {
        n.Add(L"setfocus", box, [this](ui::Notification& e) { OnBoxFocus(e.sender, true); });
        n.Add(L"killfocus", box, [this](ui::Notification& e) { OnBoxFocus(e.sender, false); });
    }
    n.Add(L"selectchanged", L"OptionAutoLogin", [this](ui::Notification&) { OnCredentialOption(true); });
    n.Add(L"selectchanged", L"OptionSavePSW", [this](ui::Notification&) { OnCredentialOption(false); });
}

void LoginLayer::Init() {
    LookUpControls();
    CredentialBoxes boxes = Boxes();
    LoadStartCredentials(Settings(), boxes);
    SetBoxes(boxes);
    if (inputUsernameNotice_) inputUsernameNotice_->SetVisible(boxes.userName.empty());
    if (inputPasswordNotice_) inputPasswordNotice_->SetVisible(boxes.password.empty());
}

void LoginLayer::LookUpControls() {
    avatar_ = host_.Find(L"avatar");
    labelLxsname_ = host_.Find<ui::Label>(L"LabelLxsname");
    labelUsername_ = host_.Find<ui::Label>(L"LabelUsername");
    notLoggedUser_ = host_.Find(L"NotLoggedUser");
    layer_ = host_.Find(L"LoginLayer");
    loginCtrls_ = host_.Find(L"LayoutLoginCtrls");
    loading_ = host_.Find(L"LayoutLoginLoading");
    closeButton_ = host_.Find(L"BtnHideLoginLayer");
    loginButton_ = host_.Find(L"BtnLogin");
    editUsername_ = host_.Find<ui::Edit>(L"EditUsername");
    editPassword_ = host_.Find<ui::Edit>(L"EditPassword");
    optionSavePsw_ = host_.Find<ui::Option>(L"OptionSavePSW");
    optionAutoLogin_ = host_.Find<ui::Option>(L"OptionAutoLogin");
    inputUsernameNotice_ = host_.Find(L"InputUsernameNotice");
    inputPasswordNotice_ = host_.Find(L"InputPasswordNotice");
}

CredentialBoxes LoginLayer::Boxes() const {
    CredentialBoxes boxes;
    if (editUsername_) boxes.userName = editUsername_->GetText();
    if (editPassword_) boxes.password = editPassword_->GetText();
    boxes.keep = optionSavePsw_ && optionSavePsw_->IsSelected();
    boxes.autoLogin = optionAutoLogin_ && optionAutoLogin_->IsSelected();
    return boxes;
}

void LoginLayer::SetBoxes(const CredentialBoxes& boxes) {
    if (editUsername_ && editUsername_->GetText() != boxes.userName) editUsername_->SetText(boxes.userName);
    if (editPassword_ && editPassword_->GetText() != boxes.password) editPassword_->SetText(boxes.password);
    if (optionSavePsw_) optionSavePsw_->Selected(boxes.keep, false);
    if (optionAutoLogin_) optionAutoLogin_->Selected(boxes.autoLogin, false);
}

void LoginLayer::Show() {
    host_.ExpandTitleArea();
    if (layer_ == nullptr || layer_->IsVisible()) return;
    SetLayerVisible(true);
    if (editUsername_) {
        // As if the user clicked into the name box.
        host_.Paint().UpdateLayout();
        const RECT& rc = editUsername_->GetPos();
        const LPARAM at = MAKELPARAM(rc.left + 20, rc.top + 7);
        ::PostMessageW(host_.Window(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(host_.Window(), WM_LBUTTONUP, MK_LBUTTON, at);
    }
}

void LoginLayer::Hide() {
    CredentialBoxes boxes = Boxes();
    if (HideLoginLayerCredentials(Settings(), boxes)) {
        SetBoxes(boxes);
        if (editUsername_) editUsername_->SetFocus();
    }
    SetLayerVisible(false);
    host_.Paint().SetFocus(nullptr);
}

void LoginLayer::SetLayerVisible(bool visible) {
    if (layer_ == nullptr) return;
    layer_->SetVisible(visible);
    host_.LoginLayerShown(visible);
}

bool LoginLayer::StartLogin() {
    const CredentialBoxes boxes = Boxes();
    if (boxes.userName.empty() || boxes.password.empty()) return false;
    return StartLogin(boxes.userName, boxes.password);
}

bool LoginLayer::StartLogin(const std::wstring& userName, const std::wstring& password) {
    if (LoginBusi* logins = host_.Logins()) {
        logins->Login(userName, password);
        loginRunning_ = true;
    }
    ShowLoading(true);
    return true;
}

void LoginLayer::ShowLoading(bool loading) {
    // The loading strip covers the login controls.
    if (loading_) loading_->SetVisible(loading);
    if (!loading && loginCtrls_) loginCtrls_->SetVisible(true);
    if (closeButton_) closeButton_->SetToolTip(loading ? kCancelTip : kCloseTip);
}

void LoginLayer::AutoLogin() {
    // The clock is set again after every outage; the automatic login is for
    // a client that is not signed in and not already signing in.
    if (!Settings().autoLogin || Settings().signedIn || loginRunning_) return;
    Show();
    StartLogin();
}

void LoginLayer::OnLoginButton() {
    if (host_.Reachability() == 0 && layer_) {
        const RECT& rc = layer_->GetPos();
        const POINT pt = host_.ClientToScreen((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2 + rc.top - 5);
        host_.ShowTip(MainWindowHost::kOfflineText, pt.x, pt.y, 0, MainWindowHost::kHintColour);
        return;
    }
    if (editUsername_ && editUsername_->GetText().empty()) {
        host_.ShowTipAtControl(editUsername_, L"请您输入账号后再登录", MainWindowHost::kHintColour, true);
        return;
    }
    if (editPassword_ && editPassword_->GetText().empty()) {
        host_.ShowTipAtControl(editPassword_, L"请您输入密码后再登录", MainWindowHost::kHintColour, true);
        return;
    }
    if (editPassword_ && editPassword_->IsFocused() && labelUsername_) labelUsername_->SetFocus();
    StartLogin();
}

void LoginLayer::OnResult(WPARAM ok, LPARAM code) {
    loginRunning_ = false;
    ShowLoading(false);
    if (ok == 1) {
        OnSucceeded();
    } else if (ok == 0) {
        OnFailed(static_cast<int>(code));
    }
}

void LoginLayer::OnSucceeded() {
    AppSettings& s = Settings();
    // The account that just signed in, before anything uses it: the web
    // site login must not go out with the previous user's name or password.
    StoreLoginCredentials(s, Boxes());
    if (MainBusi* session = host_.Session()) session->WebLogin();
    host_.StartTimer(MainWindowHost::kWebLoginTimer);
    SynLogin().RequestToken();
    host_.StartTimer(MainWindowHost::kTokenTimer);
    host_.SetTrayIcon(TrayIcon::kSignedInIcon);
    s.SetUserSession(true);
    s.LoadLastReadTime();
    // Not the rules of a user closing the layer: those forget an unkept
    // password, which the web site login and a relogin still need.
    SetLayerVisible(false);
    host_.Paint().SetFocus(nullptr);
    ShowSignedInUser(true);
    if (MainBusi* session = host_.Session()) session->DownloadAvatar();
    host_.OpenSelectedPersonalPage();
    if (SubscribeBusi* subscriptions = host_.Subscriptions()) {
        subscriptions->RequestProvinceList();
        subscriptions->StartPolling();
    }
    if (MsgCenterBusi* messages = host_.MessageCentre()) {
        messages->RequestNewMessageCount();
        messages->RequestImportantNotices();
    }
    host_.StartTimer(MainWindowHost::kMessagesTimer);
    if (MainBusi* session = host_.Session()) session->ReportLogin();
}

void LoginLayer::ShowSignedInUser(bool signedIn) {
    const AppSettings& s = Settings();
    if (notLoggedUser_) {
        notLoggedUser_->SetVisible(!signedIn);
        notLoggedUser_->SetEnabled(!signedIn);
    }
    if (labelUsername_) {
        labelUsername_->SetText(signedIn ? s.contactName : std::wstring());
        if (signedIn) {
            labelUsername_->SetFixedWidth(labelUsername_->MeasureText(s.contactName).cx + labelUsername_->Scale(5));
        }
    }
    if (labelLxsname_) labelLxsname_->SetText(signedIn ? s.title : std::wstring());
}

void LoginLayer::OnFailed(int code) {
    if (layer_ && !layer_->IsVisible()) Show();
    if (code == 0) {
        host_.ShowBalloon(MainWindowHost::kOfflineText, L"网络异常", 3000, TrayIcon::BalloonIcon::Warning);
        // The boxes keep what was typed, for the next try.
        if (loginButton_) host_.ShowTipAtControl(loginButton_, kNetworkFailureTip, MainWindowHost::kErrorColour, false);
        return;
    }
    for (const Refusal& refusal : kRefusals) {
        if (refusal.code != code) continue;
        ui::Control* at = refusal.atPassword ? static_cast<ui::Control*>(editPassword_) : editUsername_;
        host_.ShowTipAtControl(at, refusal.tip, MainWindowHost::kErrorColour, true);
        if (refusal.clearsPassword) {
            if (editPassword_) editPassword_->SetText(L"");
            Settings().password.clear();
        }
        return;
    }
}

void LoginLayer::Logout() {
    AppSettings& s = Settings();
    for (auto id : {MainWindowHost::kMessagesTimer, MainWindowHost::kSlowMessagesTimer, MainWindowHost::kTokenTimer,
                    MainWindowHost::kWebLoginTimer}) {
        host_.StopTimer(id);
    }
    // The web site login stops too: no signed-out password goes out again.
    if (MainBusi* session = host_.Session()) session->CancelWebLogin();
    if (SubscribeBusi* subscriptions = host_.Subscriptions()) {
        subscriptions->StopPolling();
        subscriptions->ResetNewInquiryTotal();
    }
    host_.SetTrayIcon(TrayIcon::kSignedOutIcon);
    if (MainBusi* session = host_.Session()) session->ReportLogout();
    s.SetUserSession(false);
    s.uid = 0;
    s.SaveLastReadTime();
    s.postedFlag = false;
    ShowSignedInUser(false);
    host_.SelectListHome();
    Show();
    if (avatar_) avatar_->SetBkImage(L"file='avatar_example.png'");
}

void LoginLayer::OnAvatarSaved() {
    if (avatar_ == nullptr) return;
    const std::wstring file = Settings().UserFilePath(L"avatar.png");
    if (!avatar_->SetBkImage(L"file='" + file + L"'")) {
        // The same file came again: read it afresh.
        host_.Paint().ReloadImage(file);
        avatar_->Invalidate();
    }
}

void LoginLayer::OnBoxFocus(ui::Control* box, bool gained) {
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

void LoginLayer::OnCloseButton() {
    if (loading_ && loading_->IsVisible()) {
        // The request keeps running; its result is still handled.
        ShowLoading(false);
    } else {
        Hide();
    }
}

void LoginLayer::OnCredentialOption(bool autoOption) {
    CredentialBoxes boxes = Boxes();
    if (autoOption) {
        SetAutoOption(boxes, boxes.autoLogin);
    } else {
        SetKeepOption(boxes, boxes.keep);
    }
    SetBoxes(boxes);
}

void LoginLayer::OnKeyDown(WPARAM key) {
    if (key == VK_RETURN && layer_ && layer_->IsVisible()) {
        // A focused button, option or link answers Return itself, as a
        // click: 注册>> must not also sign in, nor 登录 sign in twice.
        const ui::Control* focus = host_.Paint().GetFocus();
        if (focus != nullptr && focus->NativeHandle() == nullptr) return;
        OnLoginButton();
    } else if (key == VK_CAPITAL && editPassword_ && editPassword_->IsFocused() && (::GetKeyState(VK_CAPITAL) & 1)) {
        ShowCapsLockTip();
    }
}

void LoginLayer::ShowCapsLockTip() {
    host_.ShowTipAtControl(editPassword_, L"大写锁定已打开", MainWindowHost::kCapsColour, false);
}

void LoginLayer::SaveOnClose() { ShutdownCredentials(Settings(), Boxes()); }

void LoginLayer::OnAvatarFrame() {
    const AppSettings& s = Settings();
    if (s.signedIn) {
        SynLogin().OpenUrl(MainWindowHost::WebPage(shell::FormatW(L"/%u", s.uid).c_str()));
    } else if (layer_ && layer_->IsVisible()) {
        SynLogin().OpenUrl(MainWindowHost::WebPage(L"/"));
    } else {
        Show();
    }
}

void LoginLayer::OnMessageCentreButton() {
    if (Settings().signedIn) {
        SynLogin().OpenUrl(MainWindowHost::WebPage(L"/notice"));
    } else if (!layer_ || !layer_->IsVisible()) {
        Show();
    }
}
