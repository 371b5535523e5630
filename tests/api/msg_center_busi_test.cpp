#include "api/msg_center_busi.h"

#include "shell/messages.h"
#include "tests/support/service_fixture.h"

namespace {

class MsgCenterTest : public testing_support::ServiceTest {
protected:
    MsgCenterBusi busi{owner.hwnd()};
};

TEST_F(MsgCenterTest, NewMessageCount) {
    Settings().uid = 12345;
    Json::Value state;
    state["msg_count"] = 5;
    standin.SetState(state);
    busi.RequestNewMessageCount();
    ASSERT_TRUE(owner.WaitFor(msg::kNewMessages));
    EXPECT_EQ(5, busi.NewMessageCount());
    Json::Value doc = Received("get_new_msg_count")[0]["document"];
    EXPECT_EQ("12345", doc["uid"].asString());

    state["msg_count"] = 0;
    standin.SetState(state);
    busi.RequestNewMessageCount();
    Settle(busi);
    EXPECT_EQ(1u, owner.Count(msg::kNewMessages));
    EXPECT_EQ(5, busi.NewMessageCount());  // the previous count stays
}

TEST_F(MsgCenterTest, NoticesWithDefaults) {
    Json::Value data(Json::arrayValue);
    data.append("a string is skipped");
    Json::Value partial;
    partial["caption"] = "系统维护";
    partial["content"] = "今晚十点维护";
    data.append(partial);
    Json::Value numeric;
    numeric["title"] = 7;
    numeric["more"] = "查看详情";
    data.append(numeric);
    data.append(Json::Value());
    ReplyDocument("get_important_notice", Document("1", data));
    busi.RequestImportantNotices();
    ASSERT_TRUE(owner.WaitFor(msg::kNoticesReceived));
    const auto& notices = busi.Notices();
    ASSERT_EQ(2u, notices.size());
    EXPECT_EQ(L"重要消息", notices[0].title);
    EXPECT_EQ(L"系统维护", notices[0].caption);
    EXPECT_EQ(L"今晚十点维护", notices[0].content);
    EXPECT_EQ(L"我知道了", notices[0].more);
    EXPECT_EQ(L"重要消息", notices[1].title);
    EXPECT_EQ(L"查看详情", notices[1].more);
    EXPECT_EQ(L"", notices[1].caption);
}

TEST_F(MsgCenterTest, SeededNoticesTravelEscaped) {
    busi.RequestImportantNotices();
    ASSERT_TRUE(owner.WaitFor(msg::kNoticesReceived));
    ASSERT_FALSE(busi.Notices().empty());
    EXPECT_EQ(L"重要通知", busi.Notices()[0].title);
}

TEST_F(MsgCenterTest, EmptyListAndRefusedStatus) {
    busi.RequestImportantNotices();
    ASSERT_TRUE(owner.WaitFor(msg::kNoticesReceived));
    ASSERT_FALSE(busi.Notices().empty());

    // A refused status changes nothing.
    Json::Value one(Json::arrayValue);
    Json::Value notice;
    notice["title"] = "x";
    one.append(notice);
    ReplyDocument("get_important_notice", Document("-1", one));
    busi.RequestImportantNotices();
    Settle(busi);
    EXPECT_EQ(L"重要通知", busi.Notices()[0].title);

    // An empty list empties it and says nothing.
    ReplyDocument("get_important_notice", Document("1", Json::Value(Json::arrayValue)));
    busi.RequestImportantNotices();
    Settle(busi);
    EXPECT_TRUE(busi.Notices().empty());
    EXPECT_EQ(1u, owner.Count(msg::kNoticesReceived));
}

}  // namespace
