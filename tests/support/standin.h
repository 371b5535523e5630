// Test access to the stand-in service: every test gets an isolated instance
// spawned by the hub that the test script started (port in YF_STANDIN_PORT).
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>

namespace testing_support {

struct HttpResult {
    int status = 0;
    std::string body;
};

// A plain blocking call over WinInet, for the control interface.
HttpResult HttpCall(uint16_t port, const wchar_t* verb, const std::string& path, const std::string& body = {});

class StandIn {
public:
    // Spawns a fresh instance and points the client's configuration at it.
    StandIn();
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }

    Json::Value Control(const char* verb, const std::string& what, const Json::Value& body = Json::Value());
    void Reply(const Json::Value& rule) { Control("POST", "reply", rule); }
    void Fault(const Json::Value& rule) { Control("POST", "fault", rule); }
    void SetState(const Json::Value& state) { Control("POST", "state", state); }
    Json::Value State() { return Control("GET", "state"); }
    Json::Value Received() { return Control("GET", "received"); }
    // The received records whose path is exactly the given one.
    Json::Value ReceivedAt(const std::string& path);
    void Clear() { Control("POST", "clear"); }

    static uint16_t HubPort();

private:
    uint16_t port_ = 0;
};

std::string ToJson(const Json::Value& value);
Json::Value ParseJson(const std::string& text);

}  // namespace testing_support
