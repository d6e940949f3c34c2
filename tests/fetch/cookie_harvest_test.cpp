// The response cookie harvest through the recording WinInet fake: the store calls it makes
// and the cookie text it returns.
#include "fetch/cookie_harvest.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/fetch/fake_wininet.h"

namespace quorvane {
namespace {

using testing::FakeLog;
using testing::FakeWinInet;

std::string Store(const Text& name, const Text& data) {
    return "InternetSetCookieA(http://my.host | " + name + " | " + data + ")";
}

struct HarvestCase {
    const char* name;
    Text rawHeaders;
    Text cookieText;
    std::vector<std::string> stores;
};

void PrintTo(const HarvestCase& c, std::ostream* os) { *os << c.name; }

class Harvest : public ::testing::TestWithParam<HarvestCase> {};

TEST_P(Harvest, StoresEachCookieAndBuildsTheCookieText) {
    const HarvestCase& c = GetParam();
    const WinInetApi& api = FakeWinInet();
    EXPECT_EQ(HarvestCookies(api, c.rawHeaders, "my.host"), c.cookieText);
    EXPECT_EQ(FakeLog().calls, c.stores);
}

const HarvestCase kCases[] = {
    {"NameValueAndAttributes", "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/; HttpOnly\r\n\r\n", "sid=abc;",
     {Store("sid", "abc; path=/; HttpOnly")}},
    {"WithoutSemicolonOnlySeparatorIsAdded", "Set-Cookie: sid=abc\r\n", ";", {Store("sid", "abc")}},
    {"KeyInOtherLetterCase", "set-cookie: a=1; path=/\r\n", "a=1;", {Store("a", "1; path=/")}},
    {"KeyWithoutBlankIsNotHarvested", "HTTP/1.1 200 OK\r\nSet-Cookie:a=1\r\n\r\n", "", {}},
    {"TwoLinesInHeaderOrder", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; p\r\nX: y\r\nSet-Cookie: b=2; HttpOnly\r\n\r\n",
     "a=1;b=2;", {Store("a", "1; p"), Store("b", "2; HttpOnly")}},
    {"WithoutEqualsStoresEmptyName", "Set-Cookie: flag; x\r\n", "flag;", {Store("", "flag; x")}},
    {"NoSetCookieLine", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", {}},
    {"EmptyText", "", "", {}},
    {"KeyFurtherOnCutsTheFirst12Bytes", "X-Note: Set-Cookie: a=1; p\r\n", "Cookie: a=1;", {Store("Cookie: a", "1; p")}},
    {"OneCarriageReturnIsDropped", "Set-Cookie: a=1\r\r\n", ";", {Store("a", "1\r")}},
    {"LastLineWithoutLineFeed", "HTTP/1.1 200 OK\r\nSet-Cookie: z=9; q\r", "z=9;", {Store("z", "9; q")}},
    {"LineFeedAsSecondByteDoesNotEndTheLine", "Set-Cookie: a=\xB0\nSet-Cookie: b=1; x\r\n",
     "a=\xB0\nSet-Cookie: b=1;", {Store("a", "\xB0\nSet-Cookie: b=1; x")}},
    {"TwoByteValue", "Set-Cookie: n=\xC4\xE3\xBA\xC3; path=/\r\n", "n=\xC4\xE3\xBA\xC3;",
     {Store("n", "\xC4\xE3\xBA\xC3; path=/")}},
    {"ByteOneAIsOrdinary", "Set-Cookie: a=1\x1A; p\r\nSet-Cookie: b=2; p\r\n", "a=1\x1A;b=2;",
     {Store("a", "1\x1A; p"), Store("b", "2; p")}},
    {"LeadByteAtTheEnd", "Set-Cookie: a=1; p\r\n\xB0", "a=1;", {Store("a", "1; p")}},
};

INSTANTIATE_TEST_SUITE_P(CookieHarvest, Harvest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CookieHarvest, ManyLongLinesAreAllHarvested) {
    Text headers = "HTTP/1.1 200 OK\r\n";
    Text expected;
    for (int i = 0; i < 200; ++i) {
        Text entry = std::to_string(i);
        entry.insert(0, 1, 'c').append(1, '=').append(3000, static_cast<char>('a' + i % 26));
        headers.append("Set-Cookie: ").append(entry).append("; path=/\r\n");
        expected.append(entry).append(";");
    }
    const WinInetApi& api = FakeWinInet();
    EXPECT_EQ(HarvestCookies(api, headers, "my.host"), expected);
    ASSERT_EQ(FakeLog().calls.size(), 200u);
    EXPECT_EQ(FakeLog().calls[199], Store("c199", Text(3000, 'a' + 199 % 26) + "; path=/"));
}

TEST(TextBefore, Examples) {
    EXPECT_EQ(TextBefore("a=1; path=/", ";"), "a=1");
    EXPECT_EQ(TextBefore("a=1", ";"), "");
    EXPECT_EQ(TextBefore("x;y;z", ";", 3), "x;y");
    EXPECT_EQ(TextBefore("x;y;z", ";", 0), "x");
    EXPECT_EQ(TextBefore("x;y;z", ";", -5), "x");
    EXPECT_EQ(TextBefore("x;y;z", ";", 6), "");
    EXPECT_EQ(TextBefore("aXbxc", "x"), "aXb");
    EXPECT_EQ(TextBefore("aXbxc", "x", 1, true), "a");
    EXPECT_EQ(TextBefore("\xB0;;", ";"), "\xB0;");  // ";" as a second byte is not a match
    EXPECT_EQ(TextBefore("", ";"), "");
}

}  // namespace
}  // namespace quorvane
