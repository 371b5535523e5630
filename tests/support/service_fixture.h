// Shared set-up of the service tests: a stand-in instance of their own, a
// hidden owner window that records the posted messages, clean settings.
#pragma once

#include <gtest/gtest.h>

#include "api/envelope.h"
#include "net/request_manager.h"
#include "shell/app_settings.h"
#include "tests/support/message_pump.h"
#include "tests/support/standin.h"

namespace testing_support {

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
        AppSettings& s = Settings();
        s.Load();
        s.uid = 0;
        s.signedIn = false;
        s.serverTimeAtSync = s.localTimeAtSync = s.lastReadTime = 0;
    }
    void TearDown() override { api::SetRequestTimeLimit(0); }

    // Waits until the manager has nothing running, then lets posted
    // messages arrive: for asserting that nothing was posted.
    void Settle(const FCHttpRequestManager& m) {
        PumpUntil([&] { return m.RunningCount() == 0; }, 10000);
        PumpFor(100);
    }

    // Replaces the reply of an action with an enciphered document.
    void ReplyDocument(const char* action, const Json::Value& document) {
        Json::Value rule;
        rule["action"] = action;
        rule["document"] = document;
        standin.Reply(rule);
    }
    void FaultAction(const char* action, const char* kind, const char* key = nullptr, int value = 0) {
        Json::Value rule;
        rule["action"] = action;
        rule["kind"] = kind;
        if (key) rule[key] = value;
        standin.Fault(rule);
    }
    static Json::Value Document(const char* status, const Json::Value& data) {
        Json::Value d;
        d["status"] = status;
        d["data"] = data;
        return d;
    }
    static Json::Value Strings(std::initializer_list<const char*> items) {
        Json::Value a(Json::arrayValue);
        for (const char* i : items) a.append(i);
        return a;
    }
    Json::Value Received(const char* action) {
        return standin.ReceivedAt(std::string("/rovavoda.php/rovavoda/api/") + action);
    }

    StandIn standin;
    MessageRecorder owner;
};

}  // namespace testing_support
