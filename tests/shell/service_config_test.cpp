#include "shell/service_config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "shell/app_settings.h"

namespace {

class ServiceConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = Settings().DataFilePath(L"service-test.ini");
        ::DeleteFileW(path.c_str());
    }
    void TearDown() override { ::DeleteFileW(path.c_str()); }
    void Write(const wchar_t* key, const wchar_t* value) {
        ::WritePrivateProfileStringW(L"Service", key, value, path.c_str());
    }
    std::wstring path;
};

TEST_F(ServiceConfigTest, MissingFileGivesCompiledDefaults) {
    ServiceConfig c = ServiceConfig::FromFile(path);
    ServiceConfig d = ServiceConfig::Defaults();
    EXPECT_EQ(d.serviceHost, c.serviceHost);
    EXPECT_EQ(80, c.port);
    EXPECT_EQ(L"http://" + d.webHost, c.WebOrigin());  // port 80 is not written
}

TEST_F(ServiceConfigTest, FileOverridesEachKey) {
    Write(L"ServiceHost", L"127.0.0.1");
    Write(L"WebHost", L" web.local ");
    Write(L"Port", L"8081");
    ServiceConfig c = ServiceConfig::FromFile(path);
    EXPECT_EQ(L"127.0.0.1", c.serviceHost);
    EXPECT_EQ(L"web.local", c.webHost);
    EXPECT_EQ(ServiceConfig::Defaults().feedbackHost, c.feedbackHost);
    EXPECT_EQ(8081, c.port);
    EXPECT_EQ(L"http://127.0.0.1:8081", c.ServiceOrigin());
    EXPECT_EQ(L"http://web.local:8081", c.WebOrigin());
}

TEST_F(ServiceConfigTest, UnusableValuesFallBack) {
    Write(L"ServiceHost", L"evil.example/path?x");
    Write(L"Port", L"70000");
    ServiceConfig c = ServiceConfig::FromFile(path);
    EXPECT_EQ(ServiceConfig::Defaults().serviceHost, c.serviceHost);
    EXPECT_EQ(80, c.port);
    Write(L"Port", L"abc");
    EXPECT_EQ(80, ServiceConfig::FromFile(path).port);
}

TEST_F(ServiceConfigTest, NoticeCheckWaitOnlyWhenUsable) {
    EXPECT_EQ(0u, ServiceConfig::FromFile(path).noticeCheckMs);
    Write(L"NoticeCheckMs", L"1500");
    EXPECT_EQ(1500u, ServiceConfig::FromFile(path).noticeCheckMs);
    for (const wchar_t* unusable : {L"0", L"-5", L"abc", L"99999999999"}) {
        Write(L"NoticeCheckMs", unusable);
        EXPECT_EQ(0u, ServiceConfig::FromFile(path).noticeCheckMs);
    }
}

}  // namespace
