// Proves the bench itself: the programs run under Wine with GBK as the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(Bench, AnsiCodePageIsGbk) { EXPECT_EQ(GetACP(), 936u); }

}  // namespace
