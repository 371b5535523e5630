#include <windows.h>

#include <gtest/gtest.h>

// The users' machines run with the GBK code page; a harness that lost the
// Chinese locale would test something else.
TEST(Harness, AnsiCodePageIsGbk) { EXPECT_EQ(936u, ::GetACP()); }
