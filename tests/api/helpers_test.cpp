#include <windows.h>

#include <gtest/gtest.h>

#include "api/pc_code.h"
#include "api/program_version.h"
#include "api/server_clock.h"
#include "api/unescape.h"
#include "shell/app_settings.h"
#include "shell/text.h"
#include "tests/support/fake_clock.h"

namespace {

TEST(UnescapeUnicode, PlainTextPassesUnchanged) {
    EXPECT_EQ("{\"a\":\"b\"}", UnescapeUnicode("{\"a\":\"b\"}"));
}

TEST(UnescapeUnicode, ChineseBecomesGbk) {
    // 张 U+5F20 is D5 C5 in GBK, 三 U+4E09 is C8 FD.
    EXPECT_EQ("{\"n\":\"\xD5\xC5\xC8\xFD!\"}", UnescapeUnicode("{\"n\":\"\\u5f20\\u4E09!\"}"));
    EXPECT_EQ(L"张三", shell::AnsiToWide(UnescapeUnicode("\\u5f20\\u4e09")));
}

TEST(UnescapeUnicode, NeverReadsPastTheEnd) {
    EXPECT_EQ("ab\\u5f", UnescapeUnicode("ab\\u5f"));
    EXPECT_EQ("\\u", UnescapeUnicode("\\u"));
    EXPECT_EQ("\\uZZZZ", UnescapeUnicode("\\uZZZZ"));
}

TEST(UnescapeUnicode, KeepsTheDocumentParseable) {
    // A quote, backslash or control character stays escaped for the parser.
    EXPECT_EQ("\"\\u0022\\u005c\\u000a\"", UnescapeUnicode("\"\\u0022\\u005c\\u000a\""));
    // An escaped backslash followed by "u" is not an escape.
    EXPECT_EQ("\"\\\\u5f20\"", UnescapeUnicode("\"\\\\u5f20\""));
    // A character missing from the code page becomes its replacement.
    EXPECT_EQ("?", UnescapeUnicode("\\u0e01"));
}

TEST(ProgramVersion, ReadFromTheRunningModule) {
    EXPECT_EQ(shell::AnsiToWide(ZUDEDO_PROJECT_VERSION), ProgramVersion().text);
    EXPECT_EQ(ProgramVersion().Number(), VersionInfo::Parse(ProgramVersion().text).Number());
}

TEST(ProgramVersion, ParsesAndCompares) {
    VersionInfo v = VersionInfo::Parse(L"1.0.0.5");
    EXPECT_EQ(0x00010000u, v.ms);
    EXPECT_EQ(0x00000005u, v.ls);
    EXPECT_TRUE(VersionInfo::Parse(L"1.0.0.4") < v);
    EXPECT_TRUE(VersionInfo::Parse(L"0.9.9.9") < VersionInfo::Parse(L"1"));
    EXPECT_TRUE(VersionInfo::Parse(L"1.2") == VersionInfo::Parse(L"1.2.0.0"));
    EXPECT_TRUE(VersionInfo::Parse(L"2.0.0.0") < VersionInfo::Parse(L"10.0.0.0"));  // numeric, not text
    EXPECT_EQ(0u, VersionInfo::Parse(L"").Number());
    EXPECT_EQ(L"1.0.2.0", VersionInfo::Parse(L"1..2x").text);  // empty field 0, digits lead
}

TEST(PcCode, TwelveUpperHexDigitsKeptOnceKnown) {
    std::wstring code = GetPcCode();
    if (code.empty()) GTEST_SKIP() << "no network adapter on this machine";
    ASSERT_EQ(12u, code.size());
    for (wchar_t c : code) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
    EXPECT_EQ(code, GetPcCode());
}

TEST(ServerClock, FollowsTheLastSynchronisation) {
    testing_support::FakeClock clock(1000);
    AppSettings& s = Settings();
    s.serverTimeAtSync = s.localTimeAtSync = s.lastReadTime = 0;
    EXPECT_EQ(1000, ServerNow());  // before any reply: the local clock
    SetServerTime(1700000000);
    EXPECT_EQ(1700000000, ServerNow());
    EXPECT_EQ(1700000000, s.lastReadTime);  // taken over when still zero
    clock.Advance(60);
    EXPECT_EQ(1700000060, ServerNow());
    SetServerTime(1800000000);
    EXPECT_EQ(1700000000, s.lastReadTime);  // kept once set
}

TEST(ServerClock, ImplausibleTimesAreRefused) {
    testing_support::FakeClock clock(1000);
    AppSettings& s = Settings();
    s.serverTimeAtSync = s.localTimeAtSync = s.lastReadTime = 0;
    for (int64_t t : {int64_t(0), int64_t(-1), int64_t(5), INT64_MAX, INT64_MIN, int64_t(1) << 62}) {
        EXPECT_FALSE(SetServerTime(t)) << t;
        EXPECT_EQ(1000, ServerNow()) << t;
        EXPECT_EQ(0, s.lastReadTime) << t;
    }
    EXPECT_TRUE(SetServerTime(1700000000));
    EXPECT_EQ(1700000000, ServerNow());
}

}  // namespace
