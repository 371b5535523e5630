// The login layer's credential rules: they keep the name and password boxes,
// the saved password and the "KeepPSW"/"AutoLogin" flags consistent.
#pragma once

#include <string>

class AppSettings;

// The login layer's four credential controls, as the main window sees them.
struct CredentialBoxes {
    std::wstring userName;  // "EditUsername"
    std::wstring password;  // "EditPassword"
    bool keep = false;      // "OptionSavePSW"
    bool autoLogin = false; // "OptionAutoLogin"
};

// At start: fills the boxes from "config.ini" and "info.db".
void LoadStartCredentials(AppSettings& settings, CredentialBoxes& boxes);
// The options are coupled: auto implies keep, clearing keep clears auto.
void SetAutoOption(CredentialBoxes& boxes, bool selected);
void SetKeepOption(CredentialBoxes& boxes, bool selected);
// After a successful login.
void StoreLoginCredentials(AppSettings& settings, const CredentialBoxes& boxes);
// The user hid the login layer while no login ran. Returns true when the
// password box must be emptied and the focus put into the name box.
bool HideLoginLayerCredentials(AppSettings& settings, CredentialBoxes& boxes);
// At shutdown: only file values change, never the flags in memory.
void ShutdownCredentials(const AppSettings& settings, const CredentialBoxes& boxes);
