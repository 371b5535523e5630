#include "tests/support/standin.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <vector>

#include "shell/service_config.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace testing_support {

HttpResult HttpCall(uint16_t port, const wchar_t* verb, const std::string& path, const std::string& body) {
    HttpResult result;
    shell::UniqueInternet session(::InternetOpenW(L"zudedo-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) return result;
    shell::UniqueInternet connection(::InternetConnectW(session.get(), L"127.0.0.1", port, nullptr, nullptr,
                                                        INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return result;
    std::wstring wpath = shell::AnsiToWide(path);
    shell::UniqueInternet request(::HttpOpenRequestW(connection.get(), verb, wpath.c_str(), nullptr, nullptr,
                                                     nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                                     0));
    if (!request) return result;
    const wchar_t headers[] = L"Content-Type: application/json\r\n";
    if (!::HttpSendRequestW(request.get(), headers, static_cast<DWORD>(wcslen(headers)),
                            body.empty() ? nullptr : const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()))) {
        return result;
    }
    DWORD status = 0, size = sizeof(status);
    ::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    result.status = static_cast<int>(status);
    std::vector<char> chunk(8192);
    DWORD got = 0;
    while (::InternetReadFile(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got) && got > 0) {
        result.body.append(chunk.data(), got);
    }
    return result;
}

std::string ToJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

Json::Value ParseJson(const std::string& text) {
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    reader->parse(text.data(), text.data() + text.size(), &root, &errors);
    return root;
}

uint16_t StandIn::HubPort() {
    const char* value = std::getenv("YF_STANDIN_PORT");
    return value ? static_cast<uint16_t>(std::atoi(value)) : 0;
}

StandIn::StandIn() {
    uint16_t hub = HubPort();
    if (hub == 0) return;
    HttpResult spawned = HttpCall(hub, L"POST", "/__control/spawn", "{}");
    if (spawned.status != 200) return;
    port_ = static_cast<uint16_t>(ParseJson(spawned.body)["port"].asInt());
    ServiceConfig config;
    config.serviceHost = L"127.0.0.1";
    config.webHost = L"127.0.0.1";
    config.feedbackHost = L"127.0.0.1";
    config.port = port_;
    SetService(config);
}

StandIn::~StandIn() {
    if (port_ != 0) HttpCall(port_, L"POST", "/__control/close", "{}");
}

Json::Value StandIn::Control(const char* verb, const std::string& what, const Json::Value& body) {
    std::string payload = body.isNull() ? std::string("{}") : ToJson(body);
    HttpResult r = HttpCall(port_, shell::AnsiToWide(verb).c_str(), "/__control/" + what,
                            std::string(verb) == "GET" ? std::string() : payload);
    return ParseJson(r.body);
}

Json::Value StandIn::ReceivedAt(const std::string& path) {
    Json::Value all = Received();
    Json::Value matching(Json::arrayValue);
    for (const auto& record : all) {
        if (record["path"].asString() == path) matching.append(record);
    }
    return matching;
}

}  // namespace testing_support
