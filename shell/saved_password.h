// The kept password ("info.db"): written twice enciphered and scrambled.
#pragma once

#include <string>

class AppSettings;

// Writes "info.db" for the text; true when a non-empty text was written.
// The empty text empties the file.
bool SavePassword(const std::wstring& password);
// True when a non-empty password was read. A missing, empty or damaged file
// (one that does not decipher) gives false and leaves `password` alone.
bool LoadSavedPassword(std::wstring& password);
// The same against explicit settings (tests).
bool SavePassword(const AppSettings& settings, const std::wstring& password);
bool LoadSavedPassword(const AppSettings& settings, std::wstring& password);

// The file's bytes for a password, and back (exposed for tests).
std::string ScramblePassword(const std::wstring& password);
std::wstring UnscramblePassword(std::string bytes);
