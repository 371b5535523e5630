// A test that starts from a settings record loaded from a new "config.ini"
// and no password file.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/app_settings.h"
#include "tests/support/paths.h"

namespace testing_support {

class FreshSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW(s.DataFilePath(L"config.ini").c_str());
        s.Load();
        ::DeleteFileW(s.passwordPath.c_str());
    }
    // The password file as it lies on disk.
    std::string FileBytes() const { return ReadFileBytes(s.passwordPath); }
    AppSettings s;
};

}  // namespace testing_support
