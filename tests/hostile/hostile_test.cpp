// Hostile replies, archives, layouts and pictures: seeded and bounded. Each
// run prints its seed on failure; YF_HOSTILE_SEED repeats a run. Nothing
// may crash or hang, no count may go below zero, and no failure may be
// reported as a success.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <string>

#include "api/envelope.h"
#include "api/login_busi.h"
#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/network_image.h"
#include "tests/hostile/hostile_bytes.h"
#include "tests/support/message_pump.h"
#include "tests/support/pictures.h"
#include "tests/support/standin.h"
#include "ui/image.h"
#include "ui/markup.h"
#include "ui/zip_reader.h"
#include "update/check_update.h"

namespace {

using hostile::Rng;

constexpr int kReplies = 10000;

std::string SeedText(uint64_t seed) {
    return "seed " + std::to_string(seed) + " (repeat with YF_HOSTILE_SEED=" + std::to_string(seed) + ")";
}

// Takes the owner's posted messages of one id; their count and the last.
struct Posted {
    int count = 0;
    MSG last = {};
};
Posted Take(HWND owner, UINT message) {
    Posted p;
    MSG m;
    while (::PeekMessageW(&m, owner, message, message, PM_REMOVE)) {
        ++p.count;
        p.last = m;
    }
    return p;
}
void Discard(HWND owner) {
    MSG m;
    while (::PeekMessageW(&m, owner, 0, 0, PM_REMOVE)) {
    }
}

int g_sounds = 0;
void CountSound() { ++g_sounds; }

class HostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings& s = Settings();
        s.Load();
        s.uid = 0;
        s.signedIn = false;
        s.serverTimeAtSync = s.localTimeAtSync = s.lastReadTime = 0;
        s.playVoiceOnInquiry = true;
        SubscribeBusi::SetSoundPlayer(&CountSound);
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override {
        SubscribeBusi::SetSoundPlayer(nullptr);
        api::SetRequestTimeLimit(0);
        ::CoUninitialize();
    }
    testing_support::MessageRecorder owner;
    const uint64_t seed = hostile::RunSeed();
};

TEST_F(HostileTest, EveryReplyReaderSurvivesHostileReplies) {
    SCOPED_TRACE(SeedText(seed));
    Rng rng(seed);
    const HWND w = owner.hwnd();
    LoginBusi login(w);
    MainBusi main(w);
    MsgCenterBusi messages(w);
    SubscribeBusi subscribe(w);
    OpenUrlSynLogin synLogin;
    CheckUpdate update;
    for (FCHttpRequestManager* m : std::initializer_list<FCHttpRequestManager*>{&login, &main, &messages, &subscribe,
                                                                              &synLogin, &update}) {
        m->HoldRequests(true);
    }
    main.SetTimeRetryRange(600000, 600000);
    main.SetWebLoginRetryRange(600000, 600000);

    const ULONGLONG start = ::GetTickCount64();
    int successes = 0, readable = 0;
    for (int i = 0; i < kReplies; ++i) {
        SCOPED_TRACE(testing::Message() << "reply " << i);
        const std::string body = hostile::HostileReplyBody(rng);
        // Mostly 200; the readers must also refuse the others.
        const int statuses[] = {200, 200, 200, 200, 200, 200, 500, 404, 302, 0};
        const int status = statuses[rng.Below(10)];

        // The envelope reader, with and without un-escaping.
        api::Reply reply;
        if (api::ReadReply(body, rng.OneIn(2), reply)) ++readable;

        AppSettings& s = Settings();
        switch (rng.Below(10)) {
            case 0: {
                s.uid = 0;
                const int id = login.NextRequestId();
                login.Login(L"user", L"pass");
                ASSERT_TRUE(login.ReplayReply(id, status, body));
                // Exactly one outcome; a success names a user.
                Posted p = Take(w, msg::kLoginResult);
                ASSERT_EQ(1, p.count);
                if (p.last.wParam == 1) {
                    ++successes;
                    EXPECT_GT(s.uid, 0u);
                    EXPECT_EQ(200, status);
                } else {
                    EXPECT_LE(static_cast<LONG_PTR>(p.last.lParam), 0);
                }
                break;
            }
            case 1: {
                const int id = main.NextRequestId();
                main.SyncServerTime();
                ASSERT_TRUE(main.ReplayReply(id, status, body));
                if (Take(w, msg::kServerTimeSet).count > 0) {
                    EXPECT_GT(s.serverTimeAtSync, 0);
                }
                break;
            }
            case 2: {
                const int id = main.NextRequestId();
                main.GetPostCounts();
                ASSERT_TRUE(main.ReplayReply(id, status, body));
                EXPECT_GE(s.totalPosts, 0);
                EXPECT_GE(s.todayPosts, 0);
                break;
            }
            case 3: {
                const int id = main.NextRequestId();
                if (rng.OneIn(2)) {
                    main.AddPost(L"text", 0, 1);
                } else {
                    main.WebLogin();
                }
                ASSERT_TRUE(main.ReplayReply(id, status, body));
                if (Take(w, msg::kWebLoginDone).count > 0) {
                    EXPECT_TRUE(status == 200 || status == 302);
                }
                break;
            }
            case 4: {
                const int id = messages.NextRequestId();
                messages.RequestNewMessageCount();
                ASSERT_TRUE(messages.ReplayReply(id, status, body));
                EXPECT_GE(messages.NewMessageCount(), 0);
                if (Take(w, msg::kNewMessages).count > 0) {
                    EXPECT_GT(messages.NewMessageCount(), 0);
                }
                break;
            }
            case 5: {
                const int id = messages.NextRequestId();
                messages.RequestImportantNotices();
                ASSERT_TRUE(messages.ReplayReply(id, status, body));
                EXPECT_LE(messages.Notices().size(), 100u);
                if (Take(w, msg::kNoticesReceived).count > 0) {
                    EXPECT_FALSE(messages.Notices().empty());
                }
                break;
            }
            case 6: {
                const int id = subscribe.NextRequestId();
                if (rng.OneIn(2)) {
                    subscribe.RequestProvinceList();
                } else {
                    subscribe.SendProvinceList();
                }
                ASSERT_TRUE(subscribe.ReplayReply(id, status, body));
                EXPECT_LE(s.provinceList.size(), 4u * 1024 * 1024);
                break;
            }
            case 7: {
                const int id = subscribe.NextRequestId();
                const int before = subscribe.NewInquiryTotal();
                const int sounds = g_sounds;
                subscribe.RequestNewInquiryCount();
                ASSERT_TRUE(subscribe.ReplayReply(id, status, body));
                EXPECT_GE(subscribe.NewInquiryTotal(), before);
                const Posted p = Take(w, msg::kNewInquiries);
                EXPECT_EQ(p.count, g_sounds - sounds);
                if (p.count > 0) {
                    EXPECT_GT(subscribe.NewInquiryTotal(), 0);
                }
                if (rng.OneIn(50)) subscribe.ResetNewInquiryTotal();
                break;
            }
            case 8: {
                const int id = synLogin.NextRequestId();
                const std::string before = synLogin.Token();
                synLogin.RequestToken();
                ASSERT_TRUE(synLogin.ReplayReply(id, status, body));
                if (status != 200) {
                    EXPECT_EQ(before, synLogin.Token());
                }
                break;
            }
            default: {
                // The version page is plain text, not an envelope.
                const std::string page = rng.OneIn(2) ? hostile::HostileVersionPage(rng) : body;
                const int id = update.NextRequestId();
                const std::string before = update.LatestUpdaterVersion();
                update.CheckPendingUpdate();
                ASSERT_TRUE(update.ReplayReply(id, status, page));
                // Only a page that says so announces a version.
                if (status == 200 && page.compare(0, 12, "lastVersion=") == 0) {
                    EXPECT_EQ(page.substr(12), update.LatestUpdaterVersion());
                } else {
                    EXPECT_EQ(before, update.LatestUpdaterVersion());
                }
                // A download it may have started fails.
                update.ReplayReply(id + 1, 404, std::string());
                break;
            }
        }
        Discard(w);
        if (HasFatalFailure()) return;
    }
    const DWORD ms = static_cast<DWORD>(::GetTickCount64() - start);
    std::printf("[ figures  ] %d hostile replies in %lu ms: %d read as documents, %d logins accepted\n", kReplies,
                static_cast<unsigned long>(ms), readable, successes);
    EXPECT_EQ(0u, login.RunningCount());
    EXPECT_EQ(0u, main.RunningCount());
    EXPECT_EQ(0u, messages.RunningCount());
    EXPECT_EQ(0u, subscribe.RunningCount());
    EXPECT_EQ(0u, synLogin.RunningCount());
}

TEST_F(HostileTest, ArchivesLayoutsAndPicturesSurviveHostileBytes) {
    SCOPED_TRACE(SeedText(seed));
    Rng rng(seed ^ 0x9E3779B97F4A7C15ull);
    const ULONGLONG start = ::GetTickCount64();

    const std::string zip = hostile::SampleZip();
    {
        ui::ZipReader reader;
        ASSERT_TRUE(reader.Open(reinterpret_cast<const uint8_t*>(zip.data()), zip.size()));
        std::string layout;
        ASSERT_EQ(ui::ZipReader::Result::Ok, reader.Extract("main.xml", &layout, 1 << 20));
        EXPECT_EQ(hostile::SampleLayout(), layout);
    }
    for (int i = 0; i < 3000; ++i) {
        const std::string bytes = rng.OneIn(20) ? rng.Bytes(rng.Below(400)) : hostile::Mutate(rng, zip);
        ui::ZipReader reader;
        if (!reader.Open(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) continue;
        for (size_t e = 0; e < reader.EntryCount(); ++e) {
            std::string out;
            reader.Extract(reader.EntryName(e), &out, 4096);
            EXPECT_LE(out.size(), 4096u) << "archive " << i;
        }
    }

    for (int i = 0; i < 3000; ++i) {
        ui::MarkupReader reader;
        const bool ok = reader.Parse(hostile::HostileLayout(rng));
        if (!ok) {
            EXPECT_FALSE(reader.Error().empty()) << "layout " << i;
        }
    }

    // Pictures: the network decoder takes anything; the skin's decoder only
    // the skin's kind of damage (its own archive, never over the network),
    // so its header sizes are left alone.
    const std::string bases[] = {testing_support::GreyPng(32, 32, 7), testing_support::GifFrames(16, 3),
                                 testing_support::GifFrames(64, 150), testing_support::GifFrames(16, 2, 0),
                                 testing_support::PngHeaderOnly(65535, 65535), testing_support::GifFrames(0, 1)};
    int decoded = 0;
    for (int i = 0; i < 600; ++i) {
        const std::string& base = bases[rng.Below(6)];
        const std::string bytes = hostile::Mutate(rng, base, rng.OneIn(3) ? 0 : 33);
        shell::DecodedPicture picture;
        if (shell::DecodeNetworkPicture(bytes, picture)) {
            ++decoded;
            EXPECT_LE(picture.width, 1024u);
            EXPECT_LE(picture.height, 1024u);
            EXPECT_EQ(size_t(picture.width) * picture.height * 4, picture.pixels.size());
        }
        UINT pw = 0, ph = 0;
        if (bytes.size() > 33 && shell::PeekPictureSize(bytes, pw, ph) && pw <= 256 && ph <= 256 &&
            bytes.compare(0, 33, base, 0, 33) == 0) {
            ui::DecodeImage(bytes);
        }
    }
    std::printf("[ figures  ] 3000 archives, 3000 layouts, 600 pictures (%d decoded) in %lu ms\n", decoded,
                static_cast<unsigned long>(::GetTickCount64() - start));
}

// The transport's faults, through the stand-in, for every service at once.
TEST_F(HostileTest, TransportFaultsEndEveryRequest) {
    SCOPED_TRACE(SeedText(seed));
    testing_support::StandIn standin;
    ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
    api::SetRequestTimeLimit(2000);
    const HWND w = owner.hwnd();
    struct Fault {
        const char* kind;
        const char* key;
        double value;
    };
    const Fault faults[] = {{"reset", nullptr, 0},        {"cut_headers", nullptr, 0}, {"drop", nullptr, 0},
                            {"bad_length", "length", 3},  {"bad_length", nullptr, 0},  {"no_length", nullptr, 0},
                            {"huge", "length", 1099511627776.0}, {"status", "code", 500}, {"status", "code", 404},
                            {"redirect", nullptr, 0},     {"drip", "ms", 40},          {"nonhex", nullptr, 0},
                            {"garbage", nullptr, 0},      {"bad_json", nullptr, 0},    {"hang", nullptr, 0}};
    const char* const actions[] = {"login", "get_time", "get_new_msg_count", "get_mysqrss_num", "get_token"};
    Settings().uid = 12345;
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.kind);
        standin.Control("POST", "reset");
        for (const char* action : actions) {
            Json::Value rule;
            rule["action"] = action;
            rule["kind"] = f.kind;
            if (f.key) rule[f.key] = f.value;
            if (std::string(f.kind) == "huge") rule["bytes"] = 2 * 1024 * 1024;
            if (std::string(f.kind) == "drip") rule["bytes"] = 8;
            standin.Fault(rule);
        }
        owner.Clear();
        Settings().uid = 0;
        LoginBusi login(w);
        MainBusi main(w);
        MsgCenterBusi messages(w);
        SubscribeBusi subscribe(w);
        OpenUrlSynLogin synLogin;
        main.SetTimeRetryRange(600000, 600000);
        const ULONGLONG start = ::GetTickCount64();
        login.Login(L"demo", L"demo123");
        main.SyncServerTime();
        messages.RequestNewMessageCount();
        subscribe.RequestNewInquiryCount();
        synLogin.RequestToken();
        // Every request ends, by its answer or by its time limit.
        EXPECT_TRUE(testing_support::PumpUntil(
            [&] {
                return login.RunningCount() + main.RunningCount() + messages.RunningCount() +
                           subscribe.RunningCount() + synLogin.RunningCount() ==
                       0;
            },
            6000));
        testing_support::PumpFor(50);
        const DWORD ms = static_cast<DWORD>(::GetTickCount64() - start);
        EXPECT_EQ(1u, owner.Count(msg::kLoginResult));
        for (const auto& m : owner.Of(msg::kLoginResult)) {
            // Only an untouched reply signs in.
            if (m.wParam == 1) {
                EXPECT_TRUE(std::string(f.kind) == "drip" || std::string(f.kind) == "no_length") << f.kind;
            }
        }
        if (std::string(f.kind) != "drip" && std::string(f.kind) != "no_length") {
            EXPECT_EQ(0u, owner.Count(msg::kServerTimeSet));
        }
        EXPECT_GE(messages.NewMessageCount(), 0);
        EXPECT_GE(subscribe.NewInquiryTotal(), 0);
        std::printf("[ figures  ] transport fault %-11s: every request ended after %lu ms\n", f.kind,
                    static_cast<unsigned long>(ms));
    }
}

}  // namespace
