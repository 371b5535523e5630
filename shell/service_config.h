// Where the service lives: compiled defaults, overridden by an optional
// "service.ini" beside the executable (section "Service").
#pragma once

#include <cstdint>
#include <string>

struct ServiceConfig {
    std::wstring serviceHost;   // API, reachability
    std::wstring webHost;       // web pages, avatar, single sign-on, update files
    std::wstring feedbackHost;  // the operator's feedback page
    uint16_t port = 80;
    // Runs of the real program under test: a shorter wait before the
    // update-notice check, in ms (0 = the main window's own).
    uint32_t noticeCheckMs = 0;

    static ServiceConfig Defaults();
    // Defaults overridden by whatever keys the file holds.
    static ServiceConfig FromFile(const std::wstring& iniPath);

    // "http://host" plus ":port" when the port is not 80.
    std::wstring ServiceOrigin() const;
    std::wstring WebOrigin() const;
    std::wstring FeedbackOrigin() const;
};

// The process-wide configuration; read from the application folder on first use.
const ServiceConfig& Service();
// Replaces the process-wide configuration (tests, and the smoke tool).
void SetService(const ServiceConfig& config);
