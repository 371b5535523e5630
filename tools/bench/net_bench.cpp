// Transport benchmark against the service in "service.ini": one API round
// trip (median of 200) and 50 concurrent requests through one manager.
//   net_bench [request-file]
// The file, when named, receives the timed request (its address on the first
// line, the form after it) for another client, such as curl, to send.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "shell/text.h"

#include "api/envelope.h"
#include "net/request_manager.h"

namespace {

class BenchManager : public FCHttpRequestManager {
public:
    int finished = 0;
    int accepted = 0;

protected:
    void OnRequestFinished(FCHttpRequest& r) override {
        ++finished;
        if (api::IsReplyAccepted(r)) ++accepted;
    }
};

void PumpUntil(BenchManager& m, int count) {
    MSG msg;
    while (m.finished < count) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        if (m.finished >= count) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

double Ms(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    BenchManager m;
    Json::Value doc;
    doc["time"] = api::TimeText();

    if (argc > 1) {
        const HttpRequestHeader h = api::ApiRequest("get_sq_num", doc);
        if (FILE* out = std::fopen(argv[1], "wb")) {
            std::fprintf(out, "%s\n%s", shell::WideToAnsi(h.url).c_str(), h.body.c_str());
            std::fclose(out);
        }
    }

    std::vector<double> samples;
    for (int i = 0; i < 200; ++i) {
        ::QueryPerformanceCounter(&t0);
        m.StartRequest(api::ApiRequest("get_sq_num", doc));
        PumpUntil(m, i + 1);
        ::QueryPerformanceCounter(&t1);
        samples.push_back(Ms(t0, t1, freq));
    }
    std::sort(samples.begin(), samples.end());
    std::printf("round trip: median %.2f ms, p90 %.2f ms, min %.2f ms (200 runs, %d accepted)\n", samples[100],
                samples[180], samples[0], m.accepted);

    const int before = m.finished, acceptedBefore = m.accepted;
    ::QueryPerformanceCounter(&t0);
    for (int i = 0; i < 50; ++i) m.StartRequest(api::ApiRequest("get_sq_num", doc));
    PumpUntil(m, before + 50);
    ::QueryPerformanceCounter(&t1);
    std::printf("50 concurrent: %.1f ms for all, %d accepted\n", Ms(t0, t1, freq), m.accepted - acceptedBefore);
    return 0;
}
