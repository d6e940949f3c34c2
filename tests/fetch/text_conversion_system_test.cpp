// The conversions with the system's code pages (Windows; under Wine with GBK as the ANSI
// code page).
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fetch/text_conversion.h"

namespace quorvane {
namespace {

struct SystemCase {
    const char* name;
    std::function<Bytes()> operation;
    Bytes expected;
};

void PrintTo(const SystemCase& c, std::ostream* os) { *os << c.name; }

class SystemConversion : public testing::TestWithParam<SystemCase> {};

TEST_P(SystemConversion, GivesTheExpectedBytes) { EXPECT_EQ(GetParam().operation(), GetParam().expected); }

// 一键申请临时邮箱，成功！
const char kSentenceUtf8[] =
    "\xE4\xB8\x80\xE9\x94\xAE\xE7\x94\xB3\xE8\xAF\xB7\xE4\xB8\xB4\xE6\x97\xB6\xE9\x82\xAE\xE7\xAE\xB1\xEF\xBC\x8C"
    "\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81";
const char kSentenceGbk[] =
    "\xD2\xBB\xBC\xFC\xC9\xEA\xC7\xEB\xC1\xD9\xCA\xB1\xD3\xCA\xCF\xE4\xA3\xAC\xB3\xC9\xB9\xA6\xA3\xA1";
// 中華民國 in BIG5 and in GBK.
const char kRocBig5[] = "\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA";
const char kRocGbk[] = "\xD6\xD0\xC8\x41\xC3\xF1\x87\xF8";
const char kAscii[] = "Hello, World! 0123 ~{}[]";

INSTANTIATE_TEST_SUITE_P(
    Table, SystemConversion,
    testing::Values(
        SystemCase{"EmptyUtf8ToAnsi", [] { return Utf8ToAnsi(""); }, ""},
        SystemCase{"EmptyBig5ToSimplified", [] { return Big5ToSimplified(""); }, ""},
        SystemCase{"EmptyAnsiToWide", [] { return AnsiToWide(""); }, ""},
        SystemCase{"EmptyWideToAnsi", [] { return WideToAnsi(""); }, ""},
        SystemCase{"EmptyBig5ToGbk", [] { return Big5ToGbk(""); }, ""},
        SystemCase{"EmptyToSimplified", [] { return ToSimplified(""); }, ""},
        SystemCase{"AsciiUtf8ToAnsi", [] { return Utf8ToAnsi(kAscii); }, kAscii},
        SystemCase{"AsciiBig5ToSimplified", [] { return Big5ToSimplified(kAscii); }, kAscii},
        SystemCase{"ChineseUtf8ToAnsi", [] { return Utf8ToAnsi(kSentenceUtf8); }, kSentenceGbk},
        // A character GBK lacks becomes the code page's default character.
        SystemCase{"HangulUtf8ToAnsi", [] { return Utf8ToAnsi("x\xED\x95\x9Cy"); }, "x?y"},
        SystemCase{"RocBig5ToGbk", [] { return Big5ToGbk(kRocBig5); }, kRocGbk},
        // BIG5 A15A is U+2574, which GBK lacks: it becomes "?" and the text goes on.
        SystemCase{"Big5CharacterGbkLacks", [] { return Big5ToGbk("\xA4\xA4\xA1\x5A\xB0\xEA" "A"); },
                   "\xD6\xD0?\x87\xF8" "A"},
        SystemCase{"AsciiAnsiToWide", [] { return AnsiToWide("ab"); }, Bytes("a\0b\0\0\0", 6)},
        SystemCase{"ChineseAnsiToWide", [] { return AnsiToWide("\xE4\xB8\xAD"); }, Bytes("\x2D\x4E\0\0", 4)},
        SystemCase{"GbkAnsiToWide", [] { return AnsiToWide("\xD6\xD0", 936); }, Bytes("\x2D\x4E\0\0", 4)},
        SystemCase{"WideToAnsiInAnsiCodePage", [] { return WideToAnsi(Bytes("\x2D\x4E" "a\0\0\0", 6)); }, "\xD6\xD0" "a"},
        SystemCase{"WideToUtf8", [] { return WideToAnsi(Bytes("\x2D\x4E\0\0", 4), 65001); }, "\xE4\xB8\xAD"},
        SystemCase{"ZeroBytesOfZero", [] { return ZeroBytes(0); }, ""},
        SystemCase{"SpaceTextOfZero", [] { return SpaceText(0); }, ""},
        SystemCase{"ZeroBytesNegative", [] { return ZeroBytes(-2); }, ""},
        SystemCase{"SpaceTextNegative", [] { return SpaceText(-2); }, ""},
        SystemCase{"ZeroBytesOfTwo", [] { return ZeroBytes(2); }, Bytes(2, '\0')}),
    [](const testing::TestParamInfo<SystemCase>& info) { return std::string(info.param.name); });

// An emoji, which GBK lacks, becomes default characters: one per UTF-16 unit under Wine
// ("a??b"); a platform may also give one for the whole surrogate pair.
TEST(SystemConversion, EmojiBecomesTheDefaultCharacter) {
    const Text result = Utf8ToAnsi("a\xF0\x9F\x98\x80" "b");
    ASSERT_GE(result.size(), 3u);
    EXPECT_EQ(result.front(), 'a');
    EXPECT_EQ(result.back(), 'b');
    EXPECT_LE(result.size(), 4u);
    EXPECT_EQ(result.substr(1, result.size() - 2).find_first_not_of('?'), std::string::npos) << result;
}

TEST(SystemConversion, AnsiToWideEndsInAZeroUnit) {
    const Bytes wide = AnsiToWide(kSentenceUtf8);
    ASSERT_GE(wide.size(), 2u);
    EXPECT_EQ(wide.size() % 2, 0u);
    EXPECT_EQ(wide.substr(wide.size() - 2), Bytes(2, '\0'));
    EXPECT_EQ(WideToAnsi(wide, 936), kSentenceGbk);
}

// Records the mapping call and hands it on to the system.
struct MapCall {
    Dword locale = 0, flags = 0;
    std::string source;
    int sourceLength = 0, destinationLength = 0;
};
std::vector<MapCall> gMapCalls;

int QUORVANE_WINAPI RecordingLCMapStringA(Dword locale, Dword flags, const char* source, int sourceLength,
                                          char* destination, int destinationLength) {
    gMapCalls.push_back({locale, flags, std::string(source, static_cast<std::size_t>(sourceLength)), sourceLength,
                         destinationLength});
    return SystemNls().LCMapStringA(locale, flags, source, sourceLength, destination, destinationLength);
}

TEST(SystemSimplified, GbkWithoutTraditionalCharactersPassesUnchanged) {
    NlsApi spy = SystemNls();
    spy.LCMapStringA = &RecordingLCMapStringA;
    gMapCalls.clear();
    const Text text = std::string(kSentenceGbk) + " ABC 123";
    const Text result = ToSimplified(spy, text);
    EXPECT_EQ(result, text);
    EXPECT_EQ(result.size(), text.size());
    ASSERT_EQ(gMapCalls.size(), 1u);
    EXPECT_EQ(gMapCalls[0].locale, 2052u);
    EXPECT_EQ(gMapCalls[0].flags, 0x02000000u);
    EXPECT_EQ(gMapCalls[0].source, text);
    EXPECT_EQ(gMapCalls[0].sourceLength, static_cast<int>(text.size()));
    EXPECT_EQ(gMapCalls[0].destinationLength, static_cast<int>(text.size()));
}

// True when the platform's LCMapStringA maps 華 (GBK C8 41) to 华 (BB AA).
bool PlatformMapsToSimplified() {
    char out[2] = {' ', ' '};
    const int written = SystemNls().LCMapStringA(2052, 0x02000000, "\xC8\x41", 2, out, 2);
    return written == 2 && out[0] == '\xBB' && out[1] == '\xAA';
}

TEST(SystemSimplified, TraditionalCharactersBecomeSimplified) {
    if (!PlatformMapsToSimplified()) {
        GTEST_SKIP() << "this platform's LCMapStringA leaves traditional characters unchanged (as Wine's does)";
    }
    EXPECT_EQ(ToSimplified(kRocGbk), "\xD6\xD0\xBB\xAA\xC3\xF1\xB9\xFA");
    EXPECT_EQ(Big5ToSimplified(kRocBig5), "\xD6\xD0\xBB\xAA\xC3\xF1\xB9\xFA");
}

TEST(SystemSimplified, Big5ToSimplifiedGivesTheGbkTextWhereThePlatformDoesNotMap) {
    if (PlatformMapsToSimplified()) GTEST_SKIP() << "this platform maps traditional characters";
    EXPECT_EQ(Big5ToSimplified(kRocBig5), kRocGbk);
}

}  // namespace
}  // namespace quorvane
