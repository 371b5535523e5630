// Subscriptions by province: the user's province list, and a poll every
// ten seconds for new subscribed inquiries, counted and announced with a
// sound when the user wants one. The poll is a timer of the service's own
// window: a thread that only waits and posts cost more wake-ups.
#pragma once

#include <windows.h>

#include <json/json.h>

#include <cstdint>

#include "api/envelope.h"
#include "net/request_manager.h"

class SubscribeBusi : public FCHttpRequestManager {
public:
    static constexpr DWORD kPollInterval = 10000;

    explicit SubscribeBusi(HWND owner);
    ~SubscribeBusi() override;

    // Posts 2090 to the owner at once and then every interval.
    void StartPolling();
    // Ends polling; a quick restart never leaves two pollers.
    void StopPolling();
    void RequestProvinceList();
    void SendProvinceList();
    // Does nothing while the previous poll is still out.
    void RequestNewInquiryCount();

    int NewInquiryTotal() const { return newInquiries_; }
    void ResetNewInquiryTotal() { newInquiries_ = 0; }

    void SetPollInterval(DWORD ms) { pollInterval_ = ms; }  // tests
    // The notification sound, replaceable so tests hear it.
    using SoundFn = void (*)();
    static void SetSoundPlayer(SoundFn fn);  // null restores the packaged sound

protected:
    void OnServiceTimer(UINT_PTR id) override;
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnRequestTimeout(FCHttpRequest& request) override;

private:
    int Start(const char* action, const Json::Value& doc, const api::AnsiMembers& ansi = {});

    static constexpr UINT_PTR kPollTimer = 1;

    HWND owner_;
    DWORD pollInterval_ = kPollInterval;
    int sendListId_ = -1;
    int getListId_ = -1;
    int countId_ = -1;
    bool countInFlight_ = false;
    int64_t countFrom_ = 0;   // the last-read time the poll in flight asked from
    int64_t countUntil_ = 0;  // and its "time", up to which it asked
    int newInquiries_ = 0;
};
