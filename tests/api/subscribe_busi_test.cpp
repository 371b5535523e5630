#include "api/subscribe_busi.h"

#include <algorithm>

#include "api/server_clock.h"
#include "shell/messages.h"
#include "tests/support/fake_clock.h"
#include "tests/support/service_fixture.h"

namespace {

int g_sounds = 0;
void CountSound() { ++g_sounds; }

class SubscribeTest : public testing_support::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        g_sounds = 0;
        SubscribeBusi::SetSoundPlayer(&CountSound);
        Settings().uid = 12345;
    }
    void TearDown() override {
        SubscribeBusi::SetSoundPlayer(nullptr);
        ServiceTest::TearDown();
    }
    SubscribeBusi busi{owner.hwnd()};
};

TEST_F(SubscribeTest, PollsAtOnceAndThenEveryInterval) {
    busi.SetPollInterval(200);
    busi.StartPolling();
    ASSERT_TRUE(owner.WaitFor(msg::kPollNewInquiries, 1, 100));  // the first at once
    ASSERT_TRUE(owner.WaitFor(msg::kPollNewInquiries, 3, 2000));
    busi.StopPolling();
    testing_support::PumpFor(50);
    size_t count = owner.Count(msg::kPollNewInquiries);
    testing_support::PumpFor(600);
    EXPECT_EQ(count, owner.Count(msg::kPollNewInquiries));  // stopped for good
}

TEST_F(SubscribeTest, QuickRestartNeverLeavesTwoPollers) {
    busi.SetPollInterval(300);
    busi.StartPolling();
    busi.StopPolling();
    busi.StartPolling();
    testing_support::PumpFor(1050);
    busi.StopPolling();
    // One poller: at 0, 300, 600, 900 ms (plus at most the first one's own).
    EXPECT_LE(owner.Count(msg::kPollNewInquiries), 5u);
    EXPECT_GE(owner.Count(msg::kPollNewInquiries), 3u);
}

TEST_F(SubscribeTest, EachPollAsksFromThePreviousOne) {
    testing_support::FakeClock clock(1700000000);
    Settings().lastReadTime = 1600000000;
    busi.RequestNewInquiryCount();
    clock.Advance(10);
    busi.RequestNewInquiryCount();  // the first is still out: none beside it
    Settle(busi);
    EXPECT_EQ(1u, Received("get_mysqrss_num").size());
    EXPECT_EQ(1700000000, Settings().lastReadTime);  // read up to where the answered poll asked

    busi.RequestNewInquiryCount();
    Settle(busi);
    Json::Value got = Received("get_mysqrss_num");
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ("1600000000", got[0]["document"]["lasttime"].asString());
    EXPECT_EQ("1700000000", got[0]["document"]["time"].asString());
    EXPECT_EQ("1700000000", got[1]["document"]["lasttime"].asString());
    EXPECT_EQ("1700000010", got[1]["document"]["time"].asString());
    EXPECT_EQ(1700000010, Settings().lastReadTime);
}

TEST_F(SubscribeTest, AFailedPollKeepsItsInterval) {
    testing_support::FakeClock clock(1700000000);
    Settings().lastReadTime = 1600000000;
    for (const char* kind : {"status", "drop", "garbage", "bad_json"}) {
        FaultAction("get_mysqrss_num", kind);
        busi.RequestNewInquiryCount();
        Settle(busi);
        clock.Advance(10);
        EXPECT_EQ(1600000000, Settings().lastReadTime) << kind;
    }
    FaultAction("get_mysqrss_num", "none");
    busi.RequestNewInquiryCount();
    Settle(busi);
    Json::Value got = Received("get_mysqrss_num");
    ASSERT_EQ(5u, got.size());
    for (const auto& poll : got) EXPECT_EQ("1600000000", poll["document"]["lasttime"].asString());
    EXPECT_EQ(1700000040, Settings().lastReadTime);
}

TEST_F(SubscribeTest, ALateAnswerLeavesAReloadedLastReadTimeAlone) {
    testing_support::FakeClock clock(1700000000);
    Settings().lastReadTime = 1600000000;
    FaultAction("get_mysqrss_num", "delay", "ms", 300);
    busi.RequestNewInquiryCount();
    Settings().lastReadTime = 1650000000;  // a sign-in loaded the user's own
    Settle(busi);
    EXPECT_EQ(1650000000, Settings().lastReadTime);
}

TEST_F(SubscribeTest, InquiriesPublishedWhileAPollFailsAreNotLost) {
    Json::Value state;
    state["now"] = 1700000000;
    state["freeze"] = true;
    state["clear_inquiries"] = true;
    Json::Value item;
    item["province"] = 11;
    item["time"] = 1699999950;
    state["inquiries"].append(item);
    standin.SetState(state);
    testing_support::FakeClock clock(1699999990);
    SetServerTime(1699999990);
    Settings().lastReadTime = 1699999900;
    FaultAction("get_mysqrss_num", "status");
    busi.RequestNewInquiryCount();  // asks up to 1699999990: nothing yet, and fails
    Settle(busi);
    clock.Advance(10);
    FaultAction("get_mysqrss_num", "none");
    busi.RequestNewInquiryCount();
    ASSERT_TRUE(owner.WaitFor(msg::kNewInquiries));
    EXPECT_EQ(1, busi.NewInquiryTotal());
    EXPECT_EQ(1700000000, Settings().lastReadTime);
}

TEST_F(SubscribeTest, AHungPollGivesWayToTheNextAtItsLimit) {
    testing_support::FakeClock clock(1700000000);
    Settings().lastReadTime = 1600000000;
    api::SetRequestTimeLimit(500);
    Json::Value fault;
    fault["action"] = "get_mysqrss_num";
    fault["kind"] = "hang";
    fault["times"] = 1;
    standin.Fault(fault);
    busi.RequestNewInquiryCount();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return busi.RunningCount() == 0; }, 10000));
    EXPECT_EQ(1600000000, Settings().lastReadTime);
    clock.Advance(10);
    busi.RequestNewInquiryCount();
    Settle(busi);
    Json::Value got = Received("get_mysqrss_num");
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ("1600000000", got[1]["document"]["lasttime"].asString());
    EXPECT_EQ(1700000010, Settings().lastReadTime);
}

TEST_F(SubscribeTest, TotalsAccumulateAndTheSoundFollowsTheSetting) {
    Settings().playVoiceOnInquiry = false;
    ReplyDocument("get_mysqrss_num", Document("1", Strings({"2"})));
    busi.RequestNewInquiryCount();
    ASSERT_TRUE(owner.WaitFor(msg::kNewInquiries, 1));
    EXPECT_EQ(0, g_sounds);

    Settings().playVoiceOnInquiry = true;
    ReplyDocument("get_mysqrss_num", Document("-1", Strings({"4"})));  // status does not matter here
    busi.RequestNewInquiryCount();
    ASSERT_TRUE(owner.WaitFor(msg::kNewInquiries, 2));
    EXPECT_EQ(6, busi.NewInquiryTotal());
    EXPECT_EQ(1, g_sounds);

    ReplyDocument("get_mysqrss_num", Document("1", Strings({"0"})));
    busi.RequestNewInquiryCount();
    Settle(busi);
    EXPECT_EQ(2u, owner.Count(msg::kNewInquiries));
    busi.ResetNewInquiryTotal();
    EXPECT_EQ(0, busi.NewInquiryTotal());
}

TEST_F(SubscribeTest, NewInquiriesOfTheFeedAreCounted) {
    Json::Value state;
    state["now"] = 1700000000;
    state["freeze"] = true;
    state["clear_inquiries"] = true;
    Json::Value items(Json::arrayValue);
    for (int province : {11, 35, 44}) {
        Json::Value item;
        item["province"] = province;
        item["time"] = 1699999990;
        items.append(item);
    }
    state["inquiries"] = items;
    standin.SetState(state);
    SetServerTime(1700000000);
    Settings().lastReadTime = 1699999000;
    busi.RequestNewInquiryCount();
    ASSERT_TRUE(owner.WaitFor(msg::kNewInquiries));
    EXPECT_EQ(2, busi.NewInquiryTotal());  // the demo account follows 11 and 35
}

TEST_F(SubscribeTest, ProvinceListFromTheService) {
    Settings().provinceList = L"-1";
    ReplyDocument("get_sq_rss", Document("1", Strings({"11,35,"})));
    busi.RequestProvinceList();
    Settle(busi);
    EXPECT_EQ(L"11,35,", Settings().provinceList);

    Json::Value numeric(Json::arrayValue);
    numeric.append(11);
    ReplyDocument("get_sq_rss", Document("1", numeric));
    busi.RequestProvinceList();
    Settle(busi);
    EXPECT_EQ(L"11,35,", Settings().provinceList);

    Settings().provinceList = L"12,46,";
    busi.SendProvinceList();
    Settle(busi);
    EXPECT_EQ("12,46,", Received("add_sq_rss")[0]["document"]["prov_list"].asString());
}

}  // namespace
