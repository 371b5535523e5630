// The kept password ("info.db") and the rules that keep the saved name,
// password and the "KeepPSW"/"AutoLogin" flags consistent.
#pragma once

#include <string>

class AppSettings;

// Writes "info.db" for the text; true when a non-empty text was written.
// The empty text empties the file.
bool SavePassword(const std::wstring& password);
// True when a non-empty password was read; `password` is left alone otherwise.
bool LoadSavedPassword(std::wstring& password);
// The same against explicit settings (tests).
bool SavePassword(const AppSettings& settings, const std::wstring& password);
bool LoadSavedPassword(const AppSettings& settings, std::wstring& password);

// The file's bytes for a password, and back (exposed for tests).
std::string ScramblePassword(const std::wstring& password);
std::wstring UnscramblePassword(std::string bytes);

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
