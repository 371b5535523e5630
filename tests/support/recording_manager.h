// A request manager that records what its callbacks saw, for the tests of
// the transport and of the envelope.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "net/request_manager.h"
#include "tests/support/message_pump.h"

namespace testing_support {

struct Outcome {
    int id = 0;
    int status = 0;
    int contentLength = 0;
    bool readComplete = false;
    bool overflowed = false;
    LONG received = 0;
    std::string body;
    DWORD thread = 0;
};

class RecordingManager : public FCHttpRequestManager {
public:
    std::vector<Outcome> finished;
    std::vector<int> headers;
    std::vector<int> timeouts;

    bool WaitFinished(size_t count, DWORD timeoutMs = 10000) {
        return PumpUntil([&] { return finished.size() >= count; }, timeoutMs);
    }
    const Outcome* Find(int id) const {
        for (const auto& o : finished) {
            if (o.id == id) return &o;
        }
        return nullptr;
    }

protected:
    void OnRequestHeaders(FCHttpRequest& r) override { headers.push_back(r.Id()); }
    void OnRequestTimeout(FCHttpRequest& r) override { timeouts.push_back(r.Id()); }
    void OnRequestFinished(FCHttpRequest& r) override {
        Outcome o;
        o.id = r.Id();
        o.status = r.StatusCode();
        o.contentLength = r.ContentLength();
        o.readComplete = r.ReadComplete();
        o.overflowed = r.Overflowed();
        o.received = r.ReceivedCount();
        r.PopReceivedData(o.body);
        o.thread = ::GetCurrentThreadId();
        finished.push_back(o);
    }
};

}  // namespace testing_support
