// The main window's login layer and user row: the credential boxes and
// options with their placeholders, the loading state, starting a login and
// handling its success or failure, signing out, and the signed-in user's
// name, agency and picture.
#pragma once

#include <windows.h>

#include <string>

#include "panels/login_credentials.h"

class MainWindowHost;
struct RouteTable;

namespace ui {
class Control;
class Edit;
class Label;
class Option;
}  // namespace ui

class LoginLayer {
public:
    explicit LoginLayer(MainWindowHost& host) : host_(host) {}
    LoginLayer(const LoginLayer&) = delete;
    LoginLayer& operator=(const LoginLayer&) = delete;

    void AddRoutes(RouteTable& routes);
    // Once the layout exists: the controls, and the boxes from the settings.
    void Init();

    void Show();
    // The user closes the layer: the credential rules for that apply.
    void Hide();
    // From the boxes: false, and nothing sent, when either is empty.
    bool StartLogin();
    bool StartLogin(const std::wstring& userName, const std::wstring& password);
    // The server clock is known: sign in when the settings ask for it and
    // nobody is signed in or signing in.
    void AutoLogin();
    void Logout();
    // Return signs in while the layer is up; Caps Lock in the password box
    // is pointed out.
    void OnKeyDown(WPARAM key);
    // The window closes: the file side of the credential rules.
    void SaveOnClose();

private:
    void LookUpControls();
    // The boxes as the credential rules see them.
    CredentialBoxes Boxes() const;
    void SetBoxes(const CredentialBoxes& boxes);
    void OnLoginButton();
    void ShowLoading(bool loading);
    void OnResult(WPARAM ok, LPARAM code);
    void OnSucceeded();
    void ShowSignedInUser(bool signedIn);
    void OnFailed(int code);
    void OnAvatarSaved();
    void OnBoxFocus(ui::Control* box, bool gained);
    void OnCloseButton();
    void OnCredentialOption(bool autoOption);
    void ShowCapsLockTip();
    void OnAvatarFrame();
    void OnMessageCentreButton();

    MainWindowHost& host_;
    bool loginRunning_ = false;

    // Controls, looked up once.
    ui::Control* avatar_ = nullptr;
    ui::Label* labelLxsname_ = nullptr;
    ui::Label* labelUsername_ = nullptr;
    ui::Control* notLoggedUser_ = nullptr;
    ui::Control* layer_ = nullptr;
    ui::Control* loginCtrls_ = nullptr;
    ui::Control* loading_ = nullptr;
    ui::Control* closeButton_ = nullptr;
    ui::Edit* editUsername_ = nullptr;
    ui::Edit* editPassword_ = nullptr;
    ui::Option* optionSavePsw_ = nullptr;
    ui::Option* optionAutoLogin_ = nullptr;
    ui::Control* inputUsernameNotice_ = nullptr;
    ui::Control* inputPasswordNotice_ = nullptr;
};
