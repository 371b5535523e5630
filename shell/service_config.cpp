#include "shell/service_config.h"

#include <windows.h>

#include <memory>

#include "shell/app_settings.h"
#include "shell/text.h"

#ifndef ZUDEDO_DEFAULT_SERVICE_HOST
#define ZUDEDO_DEFAULT_SERVICE_HOST L"service.tavo.example"
#endif
#ifndef ZUDEDO_DEFAULT_WEB_HOST
#define ZUDEDO_DEFAULT_WEB_HOST L"www.tavo.example"
#endif
#ifndef ZUDEDO_DEFAULT_FEEDBACK_HOST
#define ZUDEDO_DEFAULT_FEEDBACK_HOST L"feedback.tavo.example"
#endif

namespace {

std::wstring Origin(const std::wstring& host, uint16_t port) {
    std::wstring origin = L"http://" + host;
    if (port != 80) origin += L":" + std::to_wstring(port);
    return origin;
}

std::wstring ReadKey(const std::wstring& path, const wchar_t* key, const std::wstring& fallback) {
    wchar_t value[256] = {};
    ::GetPrivateProfileStringW(L"Service", key, L"", value, 256, path.c_str());
    std::wstring text(value);
    // Host names only: trim blanks and refuse anything that would reshape an address.
    const wchar_t* blanks = L" \t";
    size_t first = text.find_first_not_of(blanks);
    size_t last = text.find_last_not_of(blanks);
    if (first == std::wstring::npos) return fallback;
    text = text.substr(first, last - first + 1);
    if (text.find_first_of(L"/?#@\\ ") != std::wstring::npos) return fallback;
    return text;
}

std::unique_ptr<ServiceConfig>& Current() {
    static std::unique_ptr<ServiceConfig> config;
    return config;
}

}  // namespace

ServiceConfig ServiceConfig::Defaults() {
    ServiceConfig c;
    c.serviceHost = ZUDEDO_DEFAULT_SERVICE_HOST;
    c.webHost = ZUDEDO_DEFAULT_WEB_HOST;
    c.feedbackHost = ZUDEDO_DEFAULT_FEEDBACK_HOST;
    c.port = 80;
    return c;
}

ServiceConfig ServiceConfig::FromFile(const std::wstring& iniPath) {
    ServiceConfig c = Defaults();
    if (::GetFileAttributesW(iniPath.c_str()) == INVALID_FILE_ATTRIBUTES) return c;
    c.serviceHost = ReadKey(iniPath, L"ServiceHost", c.serviceHost);
    c.webHost = ReadKey(iniPath, L"WebHost", c.webHost);
    c.feedbackHost = ReadKey(iniPath, L"FeedbackHost", c.feedbackHost);
    std::wstring port = ReadKey(iniPath, L"Port", L"");
    if (!port.empty()) {
        int64_t value = shell::ReadDecimal64(shell::WideToAnsi(port));
        if (value > 0 && value <= 65535) c.port = static_cast<uint16_t>(value);
    }
    std::wstring noticeCheck = ReadKey(iniPath, L"NoticeCheckMs", L"");
    if (!noticeCheck.empty()) {
        int64_t value = shell::ReadDecimal64(shell::WideToAnsi(noticeCheck));
        if (value > 0 && value <= 600000) c.noticeCheckMs = static_cast<uint32_t>(value);
    }
    return c;
}

std::wstring ServiceConfig::ServiceOrigin() const { return Origin(serviceHost, port); }
std::wstring ServiceConfig::WebOrigin() const { return Origin(webHost, port); }
std::wstring ServiceConfig::FeedbackOrigin() const { return Origin(feedbackHost, port); }

const ServiceConfig& Service() {
    auto& config = Current();
    if (!config) {
        config = std::make_unique<ServiceConfig>(ServiceConfig::FromFile(AppFolders::Get().app + L"\\service.ini"));
    }
    return *config;
}

void SetService(const ServiceConfig& config) { Current() = std::make_unique<ServiceConfig>(config); }
