#include "update/update_check_aid_busi.h"

#include <shlobj.h>

#include <atomic>
#include <thread>

#include "api/envelope.h"
#include "api/program_version.h"
#include "shell/file_replace.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "shell/unique_handle.h"
#include "tests/support/fake_clock.h"
#include "tests/support/inspect.h"
#include "tests/support/paths.h"
#include "tests/support/service_fixture.h"
#include "update/check_update.h"

namespace {

using Stage = UpdateCheckAidBusi::Stage;

Json::Value Parse(const char* text) { return testing_support::ParseJson(text); }

// Seconds since 1970 of a local calendar time.
int64_t LocalTime(WORD year, WORD month, WORD day, WORD hour = 12) {
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    SYSTEMTIME utc;
    FILETIME ft;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !::SystemTimeToFileTime(&utc, &ft)) return -1;
    const int64_t ticks = (int64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000) / 10000000;
}

// --- The configuration's rules, in the order the maker writes for ---------

struct RuleCase {
    const char* name;
    const char* config;
    const char* own;
    bool due;
    const char* file;
    int freq;
};

TEST(NoticeRules, ConfigurationsDecideAsPublished) {
    const RuleCase cases[] = {
        {"general alone: no specialoff means no", R"({"general":{"on":"true","file":"g.xml","freq":"3"}})", "1.0.0.1",
         false, "", 0},
        {"general with empty specialoff", R"({"general":{"on":"true","file":"g.xml","freq":"3"},"specialoff":{}})",
         "1.0.0.1", true, "g.xml", 3},
        {"general switched on only by exactly true",
         R"({"general":{"on":"True","file":"g.xml","freq":"3"},"specialoff":{}})", "1.0.0.1", false, "", 0},
        {"general on as a JSON boolean is not on", R"({"general":{"on":true,"file":"g.xml"},"specialoff":{}})",
         "1.0.0.1", false, "", 0},
        {"specialon single grants outright",
         R"({"general":{"on":"false"},"specialon":{"single":[{"ver":"1.0.0.1","file":"s.xml","freq":7}]}})",
         "1.0.0.1", true, "s.xml", 7},
        {"specialon single is case-sensitive", R"({"specialon":{"single":[{"ver":"1.0.0.B","file":"s.xml"}]}})",
         "1.0.0.b", false, "", 0},
        {"specialon range takes the place of an off general",
         R"({"general":{"on":"false","file":"g.xml"},"specialon":{"ranges":[{"beg":"1.0.0.0","end":"1.0.0.9",)"
         R"("file":"r.xml","freq":"2"}]},"specialoff":{}})",
         "1.0.0.5", true, "r.xml", 2},
        {"specialon range hit still needs specialoff",
         R"({"specialon":{"ranges":[{"beg":"1.0.0.0","end":"1.0.0.9","file":"r.xml"}]}})", "1.0.0.5", false, "",
         0},
        {"specialon range hit, withheld by specialoff single",
         R"({"specialon":{"ranges":[{"beg":"1.0.0.0","end":"1.0.0.9","file":"r.xml"}]},)"
         R"("specialoff":{"single":[{"ver":"1.0.0.5","file":"off.xml"}]}})",
         "1.0.0.5", false, "", 0},
        {"specialon range hit beats a specialoff range",
         R"({"specialon":{"ranges":[{"beg":"1.0.0.0","end":"1.0.0.9","file":"r.xml"}]},)"
         R"("specialoff":{"ranges":[{"beg":"1.0.0.0","end":"2.0.0.0"}]}})",
         "1.0.0.5", true, "r.xml", 0},
        {"text order: 1.10.0.0 lies in 1.0.0.0..1.9.9.9",
         R"({"general":{"on":"true","file":"g.xml"},"specialoff":{"ranges":[{"beg":"1.0.0.0","end":"1.9.9.9"}]}})",
         "1.10.0.0", false, "", 0},
        {"outside every specialoff range",
         R"({"general":{"on":"true","file":"g.xml"},"specialoff":{"ranges":[{"beg":"1.0.0.0","end":"1.0.0.4"}],)"
         R"("single":[{"ver":"1.0.0.6"}]}})",
         "1.0.0.5", true, "g.xml", 0},
        {"range bounds are inclusive",
         R"({"general":{"on":"true","file":"g.xml"},"specialoff":{"ranges":[{"beg":"1.0.0.5","end":"1.0.0.5"}]}})",
         "1.0.0.5", false, "", 0},
        {"ranges compare case-blind",
         R"({"specialon":{"ranges":[{"beg":"1.0.0.A","end":"1.0.0.Z","file":"r.xml"}]},"specialoff":{}})",
         "1.0.0.b", true, "r.xml", 0},
        {"first hit counts",
         R"({"specialon":{"ranges":[{"beg":"1","end":"2","file":"first.xml","freq":1},)"
         R"({"beg":"1","end":"2","file":"second.xml","freq":2}]},"specialoff":{}})",
         "1.5", true, "first.xml", 1},
        {"members of another type leave the values alone",
         R"({"specialon":{"ranges":[{"beg":"1","end":"2","file":"r.xml","freq":"6"}],)"
         R"("single":[{"ver":"1.5","file":5,"freq":2.5},{"ver":"1.5","file":"late.xml"}]}})",
         "1.5", true, "r.xml", 6},
        {"a boolean freq is no frequency",
         R"({"general":{"on":"true","file":"g.xml","freq":true},"specialoff":{}})", "1.0.0.1", true, "g.xml", 0},
        {"a single match keeps what a range hit set when it has none",
         R"({"specialon":{"ranges":[{"beg":"1","end":"2","file":"r.xml","freq":"6"}],"single":[{"ver":"1.5"}]}})",
         "1.5", true, "r.xml", 6},
        {"freq text is read as a decimal",
         R"({"general":{"on":"true","file":"g.xml","freq":" 12days"},"specialoff":{}})", "1.0.0.1", true, "g.xml",
         12},
        {"a huge integer freq saturates",
         R"({"general":{"on":"true","file":"g.xml","freq":99999999999},"specialoff":{}})", "1.0.0.1", true,
         "g.xml", 2147483647},
        {"malformed sections match nothing",
         R"({"specialon":"yes","general":{"on":"true","file":"g.xml"},)"
         R"("specialoff":{"ranges":{"beg":"1","end":"2"},"single":[7,{"ver":1},{"ver":null}]}})",
         "1.0.0.1", true, "g.xml", 0},
        {"entries without string bounds match nothing",
         R"({"general":{"on":"true","file":"g.xml"},"specialoff":{"ranges":[{"beg":1,"end":"9"},)"
         R"({"beg":"0"},"x",null]}})",
         "1.0.0.1", true, "g.xml", 0},
        {"a general that is no object is off", R"({"general":"true","specialoff":{}})", "1.0.0.1", false, "", 0},
        {"a document that is no object", R"(["general"])", "1.0.0.1", false, "", 0},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        const notice::Decision d = notice::Evaluate(Parse(c.config), c.own);
        EXPECT_EQ(c.due, d.due);
        if (c.due) {
            EXPECT_EQ(c.file, d.file);
            EXPECT_EQ(c.freq, d.freq);
        }
    }
}

TEST(NoticeRules, VersionPagesAnnounceTheLastVersionLine) {
    std::string v;
    ASSERT_TRUE(notice::ReadLatestVersion("product=yunfan\nlastVersion=1.0.1.0\n", v));
    EXPECT_EQ("1.0.1.0", v);
    // CR LF line ends: the CR is dropped, not carried into addresses.
    ASSERT_TRUE(notice::ReadLatestVersion("product=yunfan\r\nlastVersion=2.1\r\n", v));
    EXPECT_EQ("2.1", v);
    ASSERT_TRUE(notice::ReadLatestVersion("lastVersion=2.2\r", v));
    EXPECT_EQ("2.2", v);
    ASSERT_TRUE(notice::ReadLatestVersion("\tlast\tVersion=\t3.0.0.1\t\nlastVersion=3.0.0.2", v));
    EXPECT_EQ("3.0.0.2", v);
    EXPECT_FALSE(notice::ReadLatestVersion("lastversion=9.9.9.9\n", v));
    EXPECT_FALSE(notice::ReadLatestVersion(" lastVersion=9.9.9.9\n", v));
    EXPECT_FALSE(notice::ReadLatestVersion("", v));
    EXPECT_FALSE(notice::ReadLatestVersion("lastVersion=" + std::string(65, '9'), v));
}

TEST(NoticeRules, IntervalCountsDaysWithinAMonth) {
    const int64_t closed = LocalTime(2026, 3, 10);
    ASSERT_GT(closed, 0);
    EXPECT_TRUE(notice::IsTooSoon(closed, 3, LocalTime(2026, 3, 10, 18)));
    EXPECT_TRUE(notice::IsTooSoon(closed, 3, LocalTime(2026, 3, 11)));
    EXPECT_TRUE(notice::IsTooSoon(closed, 3, LocalTime(2026, 3, 12, 23)));
    EXPECT_FALSE(notice::IsTooSoon(closed, 3, LocalTime(2026, 3, 13, 0)));
    EXPECT_FALSE(notice::IsTooSoon(closed, 3, LocalTime(2026, 3, 31)));
    // No limit without a last time or a frequency.
    EXPECT_FALSE(notice::IsTooSoon(0, 3, LocalTime(2026, 3, 10)));
    EXPECT_FALSE(notice::IsTooSoon(closed, 0, LocalTime(2026, 3, 10)));
    // A stored value that is no time does not hold notices back.
    EXPECT_FALSE(notice::IsTooSoon(-5, 3, LocalTime(2026, 3, 10)));
    EXPECT_FALSE(notice::IsTooSoon(INT64_MAX, 3, LocalTime(2026, 3, 10)));
}

TEST(NoticeRules, IntervalEndsWithTheMonthOrYear) {
    EXPECT_FALSE(notice::IsTooSoon(LocalTime(2026, 3, 30), 5, LocalTime(2026, 4, 1)));
    EXPECT_FALSE(notice::IsTooSoon(LocalTime(2026, 12, 31), 5, LocalTime(2027, 1, 1)));
    // The next month with a day before the closing day: a new month allows it.
    EXPECT_FALSE(notice::IsTooSoon(LocalTime(2026, 3, 20), 30, LocalTime(2026, 4, 2)));
}

// --- Whole checks against the stand-in service ---------------------------

constexpr char kLatest[] = "99.0.0.0";
constexpr char kLayout[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Window size=\"271,173\"><Label name=\"LabelContent\" "
    "text=\"\xE4\xBA\x91\xE5\xB8\x86 99.0.0.0\"/></Window>\n";
const char kConfigPath[] = "/soft/sq/update/update_notice/99.0.0.0/notice_config";
const char kLayoutPath[] = "/soft/sq/update/update_notice/99.0.0.0/notice_info/n.xml";

class NoticeCheckTest : public testing_support::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        ::SHCreateDirectoryExW(nullptr, CheckUpdate::UpdateFolder().c_str(), nullptr);
        ::DeleteFileW(UpdateCheckAidBusi::LayoutPath().c_str());
        ::DeleteFileW(UpdateCheckAidBusi::TempLayoutPath().c_str());
        SetLastNotice(nullptr);
        Publish("product=yunfan\nlastVersion=99.0.0.0\n",
                R"({"general":{"on":"true","file":"n.xml","freq":"3"},"specialoff":{}})");
    }
    void TearDown() override {
        SetLastNotice(nullptr);
        ServiceTest::TearDown();
    }
    // The version page, the configuration of 99.0.0.0 and its layout "n.xml".
    void Publish(const char* page, const char* config, const char* layout = kLayout) {
        Json::Value state;
        state["version_page"] = page;
        state["notice_config"][kLatest] = config;
        state["notice_info"][std::string(kLatest) + "/n.xml"] = layout;
        standin.SetState(state);
    }
    static void SetLastNotice(const wchar_t* value) {
        shell::UniqueRegKey key;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\tavo", 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                              nullptr) != ERROR_SUCCESS) {
            return;
        }
        if (value == nullptr) {
            ::RegDeleteValueW(key.get(), L"lastUpdNotice");
        } else {
            ::RegSetValueExW(key.get(), L"lastUpdNotice", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        }
    }
    // Runs one check to its end; the stage it ended in.
    Stage Run(UpdateCheckAidBusi& check) {
        check.StartNoticeCheck();
        testing_support::PumpUntil([&] { return check.RunningCount() == 0 && Ended(check.CurrentStage()); }, 15000);
        testing_support::PumpFor(100);
        return check.CurrentStage();
    }
    Stage Run() {
        UpdateCheckAidBusi check(owner.hwnd());
        return Run(check);
    }
    static bool Ended(Stage s) {
        return s != Stage::kIdle && s != Stage::kVersionPage && s != Stage::kConfig && s != Stage::kLayout;
    }
    static std::string LayoutOnDisk() { return testing_support::ReadFileBytes(UpdateCheckAidBusi::LayoutPath()); }
    static bool TempLeft() {
        return ::GetFileAttributesW(UpdateCheckAidBusi::TempLayoutPath().c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    size_t Requests(const char* path) { return standin.ReceivedAt(path).size(); }
};

TEST_F(NoticeCheckTest, DueNoticeLeavesTheLayoutAndTellsTheMainWindow) {
    UpdateCheckAidBusi check(owner.hwnd());
    EXPECT_EQ(Stage::kLayoutReady, Run(check));
    EXPECT_EQ(L"99.0.0.0", check.LatestVersion());
    EXPECT_EQ(L"n.xml", check.NoticeFile());
    EXPECT_EQ(3, check.Frequency());
    EXPECT_EQ(kLayout, LayoutOnDisk());
    EXPECT_FALSE(TempLeft());
    ASSERT_EQ(1u, owner.Count(msg::kUpdateNoticeReady));
    EXPECT_EQ(0u, owner.Of(msg::kUpdateNoticeReady)[0].wParam);
    EXPECT_EQ(0, owner.Of(msg::kUpdateNoticeReady)[0].lParam);
    // One check per start, however often it is asked for.
    check.StartNoticeCheck();
    Settle(check);
    EXPECT_EQ(1u, Requests("/soft/sq/update/version_lastest.htm"));
    EXPECT_EQ(1u, owner.Count(msg::kUpdateNoticeReady));
}

TEST_F(NoticeCheckTest, CarriageReturnsStayOutOfTheAddresses) {
    Publish("product=yunfan\r\nlastVersion=99.0.0.0\r\n",
            R"({"general":{"on":"true","file":"n.xml","freq":"3"},"specialoff":{}})");
    EXPECT_EQ(Stage::kLayoutReady, Run());
    EXPECT_EQ(1u, Requests(kConfigPath));
    EXPECT_EQ(1u, Requests(kLayoutPath));
    EXPECT_EQ(kLayout, LayoutOnDisk());
    EXPECT_EQ(1u, owner.Count(msg::kUpdateNoticeReady));
}

TEST_F(NoticeCheckTest, EveryNoEndsTheCheckQuietly) {
    // The client's own version: nothing newer.
    Publish(("lastVersion=" + shell::WideToAnsi(ProgramVersion().text) + "\n").c_str(), "{}");
    EXPECT_EQ(Stage::kNoNewer, Run());
    // No announcement at all.
    Publish("product=yunfan\n", "{}");
    EXPECT_EQ(Stage::kNoNewer, Run());
    // A page far longer than a version page.
    Publish(("lastVersion=99.0.0.0\n" + std::string(notice::kMaxVersionPage, 'x')).c_str(), "{}");
    EXPECT_EQ(Stage::kFailed, Run());
    EXPECT_EQ(0u, Requests(kConfigPath));

    // The rules say no: no layout is fetched.
    Publish("lastVersion=99.0.0.0\n", R"({"general":{"on":"true","file":"n.xml","freq":"3"}})");
    EXPECT_EQ(Stage::kNotDue, Run());
    // A configuration that is not JSON, or nested past what the reader takes.
    Publish("lastVersion=99.0.0.0\n", "<html>busy</html>");
    EXPECT_EQ(Stage::kFailed, Run());
    Publish("lastVersion=99.0.0.0\n", std::string(100000, '[').c_str());
    EXPECT_EQ(Stage::kFailed, Run());
    // Due, but no rule names a layout: the folder's address is not fetched.
    Publish("lastVersion=99.0.0.0\n", R"({"general":{"on":"true"},"specialoff":{}})");
    EXPECT_EQ(Stage::kFailed, Run());
    EXPECT_EQ(0u, Requests(kLayoutPath));
    EXPECT_EQ(0u, standin.ReceivedAt("/soft/sq/update/update_notice/99.0.0.0/notice_info").size());

    EXPECT_EQ(0u, owner.Count(msg::kUpdateNoticeReady));
    EXPECT_TRUE(LayoutOnDisk().empty());
}

TEST_F(NoticeCheckTest, FailedFetchesLeaveNoLayout) {
    Json::Value fault;
    fault["path"] = kConfigPath;
    fault["kind"] = "status";
    fault["code"] = 404;
    standin.Fault(fault);
    EXPECT_EQ(Stage::kFailed, Run());
    EXPECT_EQ(0u, Requests(kLayoutPath));

    fault["kind"] = "none";
    standin.Fault(fault);
    // An error page for the layout is not a layout, nor is a cut-off one.
    fault["path"] = kLayoutPath;
    fault["kind"] = "status";
    fault["code"] = 500;
    standin.Fault(fault);
    EXPECT_EQ(Stage::kFailed, Run());
    fault["kind"] = "bad_length";
    standin.Fault(fault);
    EXPECT_EQ(Stage::kFailed, Run());

    EXPECT_TRUE(LayoutOnDisk().empty());
    EXPECT_FALSE(TempLeft());
    EXPECT_EQ(0u, owner.Count(msg::kUpdateNoticeReady));
}

TEST_F(NoticeCheckTest, LayoutsOverTheWindowsLimitAreRefused) {
    std::string big(notice::kMaxLayout + 1, ' ');
    big.replace(0, 8, "<Window>");
    Publish("lastVersion=99.0.0.0\n", R"({"general":{"on":"true","file":"n.xml"},"specialoff":{}})", big.c_str());
    EXPECT_EQ(Stage::kFailed, Run());
    EXPECT_TRUE(LayoutOnDisk().empty());
    EXPECT_FALSE(TempLeft());
    EXPECT_EQ(0u, owner.Count(msg::kUpdateNoticeReady));
}

TEST_F(NoticeCheckTest, ANewLayoutReplacesOneNotYetShown) {
    ASSERT_TRUE(shell::ReplaceFileContent(UpdateCheckAidBusi::LayoutPath(), "<Window>old</Window>"));
    EXPECT_EQ(Stage::kLayoutReady, Run());
    EXPECT_EQ(kLayout, LayoutOnDisk());
}

TEST_F(NoticeCheckTest, LastClosedNoticeHoldsTheNextBackWithinTheMonth) {
    const int64_t closed = LocalTime(2026, 3, 10);
    const std::wstring text = std::to_wstring(closed);
    SetLastNotice(text.c_str());

    testing_support::FakeClock clock(LocalTime(2026, 3, 12, 20));
    EXPECT_EQ(Stage::kTooSoon, Run());
    EXPECT_EQ(0u, Requests(kLayoutPath));
    EXPECT_EQ(0u, owner.Count(msg::kUpdateNoticeReady));

    clock.Advance(LocalTime(2026, 3, 13, 9) - LocalTime(2026, 3, 12, 20));
    EXPECT_EQ(Stage::kLayoutReady, Run());
    EXPECT_EQ(1u, owner.Count(msg::kUpdateNoticeReady));
}

TEST_F(NoticeCheckTest, ANewMonthAllowsTheNotice) {
    SetLastNotice(std::to_wstring(LocalTime(2026, 3, 30)).c_str());
    testing_support::FakeClock clock(LocalTime(2026, 4, 1));
    EXPECT_EQ(Stage::kLayoutReady, Run());
    // A frequency of 0 has no limit either.
    Publish("lastVersion=99.0.0.0\n", R"({"general":{"on":"true","file":"n.xml","freq":0},"specialoff":{}})");
    SetLastNotice(std::to_wstring(LocalTime(2026, 4, 1)).c_str());
    EXPECT_EQ(Stage::kLayoutReady, Run());
    EXPECT_EQ(2u, owner.Count(msg::kUpdateNoticeReady));
}

// While the web host is silent the window's thread keeps answering: a
// window of that thread answers a message sent from another thread, and
// ending the check does not wait for the host.
TEST_F(NoticeCheckTest, ASilentHostNeverFreezesTheWindow) {
    Json::Value fault;
    fault["path"] = kConfigPath;
    fault["kind"] = "hang";
    standin.Fault(fault);
    {
        UpdateCheckAidBusi check(owner.hwnd());
        check.StartNoticeCheck();
        ASSERT_TRUE(testing_support::PumpUntil([&] { return check.CurrentStage() == Stage::kConfig; }, 10000));
        ASSERT_TRUE(testing_support::PumpUntil([&] { return Requests(kConfigPath) == 1; }, 5000));

        std::atomic<int> answered{0};
        std::atomic<bool> done{false};
        std::thread asker([&] {
            for (int i = 0; i < 5; ++i) {
                DWORD_PTR result = 0;
                if (::SendMessageTimeoutW(owner.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0) ++answered;
                ::Sleep(100);
            }
            done = true;
        });
        testing_support::PumpUntil([&] { return done.load(); }, 20000);
        asker.join();
        EXPECT_EQ(5, answered.load());
        EXPECT_EQ(Stage::kConfig, check.CurrentStage());

        const ULONGLONG before = ::GetTickCount64();
        check.AbortAll();
        FCHttpRequestManager::WaitForWorkers(::GetTickCount64() + 3000);
        EXPECT_LT(::GetTickCount64() - before, 4000u);
    }
    EXPECT_EQ(0u, owner.Count(msg::kUpdateNoticeReady));
}

TEST_F(NoticeCheckTest, ASlowHostDelaysTheNoticeOnly) {
    Json::Value fault;
    fault["path"] = kLayoutPath;
    fault["kind"] = "delay";
    fault["ms"] = 3000;
    standin.Fault(fault);
    UpdateCheckAidBusi check(owner.hwnd());
    check.StartNoticeCheck();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return check.CurrentStage() == Stage::kLayout; }, 10000));
    // A message posted now is handled while the layout is still on its way.
    ::PostMessageW(owner.hwnd(), msg::kUpdatePackageReady, 0, 0);
    ASSERT_TRUE(owner.WaitFor(msg::kUpdatePackageReady, 1, 5000));
    EXPECT_EQ(Stage::kLayout, check.CurrentStage());
    EXPECT_EQ(0u, owner.Count(msg::kUpdateNoticeReady));
    EXPECT_TRUE(owner.WaitFor(msg::kUpdateNoticeReady, 1, 10000));
    EXPECT_EQ(kLayout, LayoutOnDisk());
}

}  // namespace
