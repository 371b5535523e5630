#include "panels/login_credentials.h"

#include "shell/app_settings.h"
#include "shell/saved_password.h"

void LoadStartCredentials(AppSettings& settings, CredentialBoxes& boxes) {
    std::wstring name = settings.ReadString(L"Main", L"UserName");
    if (!name.empty()) {
        settings.userName = name;
        boxes.userName = name;
    }
    if (settings.keepPassword) {
        std::wstring saved;
        LoadSavedPassword(settings, saved);
        settings.password = saved;
        boxes.password = saved;
    }
    boxes.keep = settings.keepPassword;
    boxes.autoLogin = settings.autoLogin;
}

void SetAutoOption(CredentialBoxes& boxes, bool selected) {
    boxes.autoLogin = selected;
    if (selected) boxes.keep = true;
}

void SetKeepOption(CredentialBoxes& boxes, bool selected) {
    boxes.keep = selected;
    if (!selected) boxes.autoLogin = false;
}

void StoreLoginCredentials(AppSettings& settings, const CredentialBoxes& boxes) {
    settings.userName = boxes.userName;
    settings.password = boxes.password;
    settings.autoLogin = boxes.autoLogin;
    settings.keepPassword = boxes.keep;
    settings.WriteInt(L"Main", L"AutoLogin", settings.autoLogin ? 1 : 0);
    settings.WriteInt(L"Main", L"KeepPSW", settings.keepPassword ? 1 : 0);
    settings.WriteString(L"Main", L"UserName", settings.userName);
    SavePassword(settings, settings.keepPassword ? settings.password : std::wstring());
}

bool HideLoginLayerCredentials(AppSettings& settings, CredentialBoxes& boxes) {
    if (!boxes.autoLogin) {
        settings.autoLogin = false;
        settings.WriteInt(L"Main", L"AutoLogin", 0);
    }
    if (!boxes.keep || boxes.password != settings.password) {
        settings.WriteInt(L"Main", L"AutoLogin", 0);
        settings.keepPassword = false;
        settings.WriteInt(L"Main", L"KeepPSW", 0);
        boxes.password.clear();
        settings.password.clear();
        return true;
    }
    return false;
}

void ShutdownCredentials(const AppSettings& settings, const CredentialBoxes& boxes) {
    if (boxes.userName != settings.userName) {
        settings.WriteString(L"Main", L"UserName", L"");
        settings.WriteInt(L"Main", L"AutoLogin", 0);
        settings.WriteInt(L"Main", L"KeepPSW", 0);
        SavePassword(settings, L"");
    } else if (boxes.keep && boxes.password == settings.password) {
        if (!boxes.autoLogin) settings.WriteInt(L"Main", L"AutoLogin", 0);
    } else {
        settings.WriteInt(L"Main", L"AutoLogin", 0);
        settings.WriteInt(L"Main", L"KeepPSW", 0);
        SavePassword(settings, L"");
    }
}
