#include "api/subscribe_busi.h"

#include <mmsystem.h>

#include <climits>

#include "api/envelope.h"
#include "api/server_clock.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/resource_ids.h"
#include "shell/system_api.h"
#include "shell/text.h"

namespace {

void PlayPackagedSound() {
    shell::PlaySoundResource(IDR_NOTIFY_SOUND, ::GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

SubscribeBusi::SoundFn g_sound = &PlayPackagedSound;

}  // namespace

void SubscribeBusi::SetSoundPlayer(SoundFn fn) { g_sound = fn ? fn : &PlayPackagedSound; }

SubscribeBusi::SubscribeBusi(HWND owner) : owner_(owner) {}

SubscribeBusi::~SubscribeBusi() { StopPolling(); }

void SubscribeBusi::StartPolling() {
    HWND owner = owner_;
    poller_.Start(
        pollInterval_, [owner](HANDLE) { ::PostMessageW(owner, msg::kPollNewInquiries, 0, 0); },
        PeriodicWorker::RunOn::kStartingThread);
}

void SubscribeBusi::StopPolling() { poller_.Stop(); }

int SubscribeBusi::Start(const char* action, const Json::Value& doc, const api::AnsiMembers& ansi) {
    return StartRequest(api::ApiRequest(action, doc, ansi));
}

void SubscribeBusi::RequestProvinceList() {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["uid"] = api::UidText(Settings().uid);
    getListId_ = Start("get_sq_rss", doc);
}

void SubscribeBusi::SendProvinceList() {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["uid"] = api::UidText(Settings().uid);
    doc["prov_list"] = shell::WideToAnsi(Settings().provinceList);
    sendListId_ = Start("add_sq_rss", doc, {"prov_list"});
}

void SubscribeBusi::RequestNewInquiryCount() {
    // One poll at a time: a slow answer is waited for rather than overtaken,
    // since the later poll would ask from a time the first never confirmed.
    if (countInFlight_) return;
    AppSettings& s = Settings();
    const int64_t now = ServerNow();
    Json::Value doc;
    doc["time"] = shell::Format("%lld", static_cast<long long>(now));
    doc["uid"] = api::UidText(s.uid);
    doc["lasttime"] = shell::Format("%lld", static_cast<long long>(s.lastReadTime));
    // The last-read time moves to this poll's "time" only once the service
    // has answered it: a lost poll is asked again from the same point.
    countFrom_ = s.lastReadTime;
    countUntil_ = now;
    countId_ = Start("get_mysqrss_num", doc);
    countInFlight_ = true;
}

void SubscribeBusi::OnRequestTimeout(FCHttpRequest& request) {
    if (request.Id() == countId_) countInFlight_ = false;
}

void SubscribeBusi::OnRequestFinished(FCHttpRequest& request) {
    const int id = request.Id();
    if (id == countId_) countInFlight_ = false;
    std::string body;
    if (!api::TakeAcceptedBody(request, body)) return;
    if (id != sendListId_ && id != getListId_ && id != countId_) return;
    api::Reply reply;
    if (!api::ReadReply(body, false, reply) || !reply.Usable()) return;
    std::string first;
    if (id == getListId_) {
        if (api::FirstString(reply.data, first)) Settings().provinceList = shell::AnsiToWide(first);
    } else if (id == countId_) {
        if (!api::FirstString(reply.data, first)) return;
        int count = shell::ReadDecimal(first);
        if (count < 0) return;  // an error code, not a count: ask this interval again
        // Unless a sign-in has put another user's time there meanwhile.
        AppSettings& s = Settings();
        if (s.lastReadTime == countFrom_) s.lastReadTime = countUntil_;
        if (count == 0) return;
        newInquiries_ = count > INT_MAX - newInquiries_ ? INT_MAX : newInquiries_ + count;
        ::PostMessageW(owner_, msg::kNewInquiries, 0, 0);
        if (Settings().playVoiceOnInquiry) g_sound();
    }
}
