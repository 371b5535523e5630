#include "api/msg_center_busi.h"

#include "api/envelope.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/text.h"

namespace {

// The texts of one notice are few and short; a reply may not flood the pop-up.
constexpr Json::ArrayIndex kMaxNotices = 100;

std::wstring TextOr(const Json::Value& element, const char* name, const wchar_t* fallback) {
    std::string text;
    return api::StringMember(element, name, text) ? shell::AnsiToWide(text) : std::wstring(fallback);
}

}  // namespace

int MsgCenterBusi::Start(const char* action) {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["uid"] = api::UidText(Settings().uid);
    return StartRequest(api::ApiRequest(action, doc));
}

void MsgCenterBusi::RequestNewMessageCount() { countId_ = Start("get_new_msg_count"); }
void MsgCenterBusi::RequestImportantNotices() { noticesId_ = Start("get_important_notice"); }

void MsgCenterBusi::OnRequestFinished(FCHttpRequest& request) {
    std::string body;
    if (!api::TakeAcceptedBody(request, body)) return;
    const int id = request.Id();
    if (id != noticesId_ && id != countId_) return;
    api::Reply reply;
    if (!api::ReadReply(body, true, reply) || !reply.Usable() || reply.StatusValue() < 0) return;
    if (id == noticesId_) {
        ReadNotices(reply.data);
    } else {
        ReadCount(reply.data);
    }
}

void MsgCenterBusi::ReadCount(const Json::Value& data) {
    std::string text;
    if (!api::FirstString(data, text)) return;
    int count = shell::ReadDecimal(text);
    if (count <= 0) return;
    newMessages_ = count;
    ::PostMessageW(owner_, msg::kNewMessages, 0, 0);
}

void MsgCenterBusi::ReadNotices(const Json::Value& data) {
    if (!data.isArray()) return;
    notices_.clear();
    for (Json::ArrayIndex i = 0; i < data.size() && notices_.size() < kMaxNotices; ++i) {
        const Json::Value& element = data[i];
        if (element.isNull() || element.isString()) continue;
        NoticeEntry entry;
        entry.title = TextOr(element, "title", L"重要消息");
        entry.caption = TextOr(element, "caption", L"");
        entry.content = TextOr(element, "content", L"");
        entry.more = TextOr(element, "more", L"我知道了");
        notices_.push_back(std::move(entry));
    }
    if (!notices_.empty()) ::PostMessageW(owner_, msg::kNoticesReceived, 0, 0);
}
