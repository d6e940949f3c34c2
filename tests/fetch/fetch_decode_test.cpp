// FetchPage's decode modes against the loopback server, with the system's WinInet and code
// pages (Windows; under Wine with GBK as the ANSI code page).
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "fetch/fetch_page.h"
#include "fetch/nls_api.h"
#include "tests/support/loopback_server.h"

namespace quorvane {
namespace {

using test::LoopbackServer;

// 一键申请临时邮箱，成功！ in UTF-8 and in GBK.
const char kSentenceUtf8[] =
    "\xE4\xB8\x80\xE9\x94\xAE\xE7\x94\xB3\xE8\xAF\xB7\xE4\xB8\xB4\xE6\x97\xB6\xE9\x82\xAE\xE7\xAE\xB1\xEF\xBC\x8C"
    "\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81";
const char kSentenceGbk[] =
    "\xD2\xBB\xBC\xFC\xC9\xEA\xC7\xEB\xC1\xD9\xCA\xB1\xD3\xCA\xCF\xE4\xA3\xAC\xB3\xC9\xB9\xA6\xA3\xA1";
// 中華民國 in BIG5, in GBK, and simplified (中华民国) in GBK.
const char kRocBig5[] = "\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA";
const char kRocGbk[] = "\xD6\xD0\xC8\x41\xC3\xF1\x87\xF8";
const char kRocSimplifiedGbk[] = "\xD6\xD0\xBB\xAA\xC3\xF1\xB9\xFA";

// True when the platform's LCMapStringA maps 華 (GBK C8 41) to 华 (BB AA); Wine's leaves
// traditional characters unchanged.
bool PlatformMapsToSimplified() {
    char out[2] = {' ', ' '};
    const int written = SystemNls().LCMapStringA(2052, 0x02000000, "\xC8\x41", 2, out, 2);
    return written == 2 && out[0] == '\xBB' && out[1] == '\xAA';
}

// What decode mode 2 makes of 中華民國 on this platform.
std::string RocAfterMode2() { return PlatformMapsToSimplified() ? kRocSimplifiedGbk : kRocGbk; }

struct DecodeCase {
    const char* name;
    int decodeMode;
    Bytes body;
    Bytes expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class FetchDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(FetchDecode, ReturnsTheBodyAsTheModeAsks) {
    const DecodeCase& c = GetParam();
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.body = c.body});
    Text url = server.BaseUrl() + "/page";
    const Bytes result = FetchPage(url, {.timeoutSeconds = 20, .decodeMode = c.decodeMode});
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(server.RequestCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FetchDecode,
    testing::Values(
        DecodeCase{"Utf8", 1, std::string("OK ") + kSentenceUtf8, std::string("OK ") + kSentenceGbk},
        DecodeCase{"Big5", 2, std::string("ROC ") + kRocBig5, "ROC " + RocAfterMode2()},
        DecodeCase{"Unchanged", 0, Bytes("a\0\xA4\xA4\xE4\xB8\x80\0", 8), Bytes("a\0\xA4\xA4\xE4\xB8\x80\0", 8)},
        DecodeCase{"Utf8CutAtZeroByte", 1, std::string(kSentenceUtf8) + Bytes("\0tail", 5), kSentenceGbk},
        DecodeCase{"Big5CutAtZeroByte", 2, Bytes("x\0", 2) + kRocBig5, "x"},
        DecodeCase{"EmptyBody", 1, "", ""}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
