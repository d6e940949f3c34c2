// The shared text routines, as tables of cases. GBK bytes are written as escapes:
// "\xB0\xA1" is one two-byte character, "\xA1\xA1" the full-width space, "\xA3\xB1" the
// full-width digit one.
#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

std::string Shown(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

TEST(TextFromBytes, StopsAtTheFirstZeroByte) {
    EXPECT_EQ(TextFromBytes(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(TextFromBytes(std::string("\0x", 2)), "");
    EXPECT_EQ(TextFromBytes(""), "");
    EXPECT_EQ(TextFromBytes("\xB0\xA1z"), "\xB0\xA1z");
}

struct FindCase {
    Text text;
    Text what;
    int start;
    int expected;
};

TEST(FindText, Table) {
    const std::vector<FindCase> cases = {
        {"abcabc", "bc", 1, 2},
        {"abcabc", "bc", 3, 5},
        {"abcabc", "bc", 0, 2},   // below 1 means 1
        {"abcabc", "bc", -7, 2},
        {"abcabc", "bc", 6, -1},  // only "c" is left to search
        {"abcabc", "c", 6, 6},
        {"abcabc", "c", 7, -1},   // past the end
        {"abcabc", "abcabcd", 1, -1},
        {"ABC", "b", 1, -1},      // case counts
        {"abc", "", 1, 1},        // empty search text
        {"abc", "", 3, 1},
        {"abc", "", 4, -1},
        {"", "", 1, -1},
        {"", "a", 1, -1},
        // Two-byte characters: matches only where a character starts.
        {"\xB0\xA1\xB0\xA1", "\xA1\xB0", 1, -1},
        {"\xB0\xA1\xA1", "\xA1", 1, 3},
        {"\xB0\xA1\xA1\xA1", "\xA1\xA1", 1, 3},  // bytes 2-3 straddle two characters
        {"\xB0\xA1\xA1\xA1", "\xA1\xA1", 2, 3},  // a start inside a character
        {"\xB0\xA1" "a", "a", 1, 3},
        {"a\xB0", "\xB0", 1, 2},                 // a lone lead byte at the end
        {"\xC4\xE3\xBA\xC3\xC4\xE3", "\xC4\xE3", 2, 5},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(Shown(c.text) + " / " + Shown(c.what) + " from " + std::to_string(c.start));
        EXPECT_EQ(FindText(c.text, c.what, c.start), c.expected);
    }
    EXPECT_EQ(FindText("xyx", "x"), 1);  // start omitted
}

TEST(FindTextNoCase, Table) {
    const std::vector<FindCase> cases = {
        {"Hello World", "WORLD", 1, 7},
        {"abc", "B", 1, 2},
        {"aAaA", "A", 2, 2},
        {"aAaA", "a", 3, 3},
        {"abc", "", 2, 1},
        {"", "", 1, -1},
        {"Set-Cookie: x", "set-cookie:", 0, 1},
        // The second byte 0x41 of "\xB0\x41" is no letter "A".
        {"x\xB0\x41", "\xB0\x61", 1, -1},
        {"x\xB0\x41", "\xB0\x41", 1, 2},
        {"\xB0\x41" "A", "a", 1, 3},
        {"\xB0\x61" "A", "\xB0\x61" "a", 1, 1},
        {"[@]^", "{`}~", 1, -1},  // only A-Z and a-z have another case
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(Shown(c.text) + " / " + Shown(c.what) + " from " + std::to_string(c.start));
        EXPECT_EQ(FindTextNoCase(c.text, c.what, c.start), c.expected);
    }
}

TEST(ContainsAndStartsWithNoCase, Table) {
    EXPECT_TRUE(ContainsNoCase("Content-Type: TEXT/html", "text/HTML"));
    EXPECT_FALSE(ContainsNoCase("abc", "abd"));
    EXPECT_TRUE(ContainsNoCase("abc", ""));
    EXPECT_FALSE(ContainsNoCase("", ""));
    EXPECT_FALSE(ContainsNoCase("\xB0\x41", "\xB0\x61"));

    EXPECT_TRUE(StartsWithNoCase("HTTP/1.1 200 OK", "http/"));
    EXPECT_TRUE(StartsWithNoCase("abc", ""));
    EXPECT_FALSE(StartsWithNoCase("ab", "abc"));
    EXPECT_FALSE(StartsWithNoCase("xabc", "abc"));
    EXPECT_FALSE(StartsWithNoCase("\xB0\x41", "\xB0\x61"));
}

TEST(LowerAscii, ChangesOnlyLettersThatStartACharacter) {
    const std::vector<std::pair<Text, Text>> cases = {
        {"ABC xyz 09", "abc xyz 09"},
        {"\xB0\x41" "A", "\xB0\x41" "a"},  // the second byte 0x41 stays
        {"\xC4\xE3Z", "\xC4\xE3z"},
        {"@[`{", "@[`{"},
        {"Z\xB0", "z\xB0"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(Shown(text));
        EXPECT_EQ(LowerAscii(text), expected);
    }
}

TEST(TrimBlanks, RemovesSpacesAndFullWidthSpacesOnly) {
    const std::vector<std::pair<Text, Text>> cases = {
        {"  a b  ", "a b"},
        {"\xA1\xA1" "a" "\xA1\xA1", "a"},
        {" \xA1\xA1 a \xA1\xA1 ", "a"},
        {" \xA1\xA1 \xA1\xA1", ""},
        {"   ", ""},
        {"", ""},
        {"\ta\t", "\ta\t"},  // tab, CR and LF stay
        {" \r\na\n ", "\r\na\n"},
        // A two-byte character ending in A1, then a lone A1: no full-width space.
        {"x\xB0\xA1\xA1", "x\xB0\xA1\xA1"},
        {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},  // B0A1 then a real A1A1
        {"\xA1\xA1\xA1", "\xA1"},
        {"\xA1", "\xA1"},
        {"\xB0\x20 ", "\xB0\x20"},  // 0x20 as a second byte is no blank
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(Shown(text));
        EXPECT_EQ(TrimBlanks(text), expected);
    }
}

TEST(LeftRightMidBytes, Table) {
    EXPECT_EQ(LeftBytes("abc", 0), "");
    EXPECT_EQ(LeftBytes("abc", -1), "");
    EXPECT_EQ(LeftBytes("abc", 2), "ab");
    EXPECT_EQ(LeftBytes("abc", 3), "abc");
    EXPECT_EQ(LeftBytes("abc", INT_MAX), "abc");
    EXPECT_EQ(LeftBytes("\xB0\xA1x", 1), "\xB0");  // plain bytes, may split a character
    EXPECT_EQ(LeftBytes("", 3), "");

    EXPECT_EQ(RightBytes("abc", 0), "");
    EXPECT_EQ(RightBytes("abc", -3), "");
    EXPECT_EQ(RightBytes("abc", 2), "bc");
    EXPECT_EQ(RightBytes("abc", 5), "abc");
    EXPECT_EQ(RightBytes("x\xB0\xA1", 1), "\xA1");

    struct MidCase {
        int position;
        int n;
        Text expected;
    };
    const std::vector<MidCase> cases = {
        {2, 3, "bcd"}, {1, 6, "abcdef"}, {1, 100, "abcdef"}, {6, 5, "f"},  {7, 1, ""},
        {0, 3, ""},    {-1, 2, ""},      {3, 0, ""},         {3, -1, ""}, {INT_MAX, INT_MAX, ""},
        {2, INT_MAX, "bcdef"},
    };
    for (const MidCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.position) + ", " + std::to_string(c.n));
        EXPECT_EQ(MidBytes("abcdef", c.position, c.n), c.expected);
    }
    EXPECT_EQ(MidBytes("", 1, 1), "");
}

TEST(DeleteAndInsert, Table) {
    struct Case {
        Text text;
        int position;
        int n;
        Text insert;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"abcdef", 2, 3, "", "aef"},
        {"abcdef", 2, 3, "XY", "aXYef"},
        {"abc", 1, 0, "", "abc"},
        {"abc", 0, 1, "X", "Xbc"},    // position below 1 is held at 1
        {"abc", -9, 0, "X", "Xabc"},
        {"abc", 4, 5, "X", "abcX"},   // length + 1 appends
        {"abc", 9, 1, "X", "abcX"},   // held at length + 1
        {"abc", 2, -1, "X", "aXbc"},  // a negative count deletes nothing
        {"abc", 2, 100, "", "a"},     // past the end deletes to the end
        {"abc", 2, INT_MAX, "Z", "aZ"},
        {"", 1, 1, "X", "X"},
        {"", 5, 5, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.position) + " " + std::to_string(c.n));
        EXPECT_EQ(DeleteAndInsert(c.text, c.position, c.n, c.insert), c.expected);
    }
    EXPECT_EQ(DeleteAndInsert("abc", 2, 1), "ac");  // insert omitted
}

TEST(ReplaceText, Table) {
    struct Case {
        Text text;
        Text what;
        Text with;
        int start;
        std::optional<int> count;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"a.b.c", ".", "-", 1, std::nullopt, "a-b-c"},
        {"aaaa", "aa", "b", 1, std::nullopt, "bb"},  // never overlapping
        {"aaa", "aa", "b", 1, std::nullopt, "ba"},
        {"aaaa", "aa", "b", 2, std::nullopt, "aba"},
        {"a.b.c", ".", "-", 3, std::nullopt, "a.b-c"},  // the text before the start stays
        {"a.b.c", ".", "-", 0, std::nullopt, "a-b-c"},
        {"a.b.c", ".", "-", 6, std::nullopt, "a.b.c"},
        {"a.b.c", ".", "-", 1, 1, "a-b.c"},
        {"a.b.c", ".", "-", 1, 0, "a.b.c"},
        {"a.b.c", ".", "-", 1, 5, "a-b-c"},
        {"xxxx", "x", "y", 2, 2, "xyyx"},
        {"a.b.c", ".", "", 1, std::nullopt, "abc"},
        {"a.b.c", "", "-", 1, std::nullopt, "a.b.c"},  // empty search text
        {"", ".", "-", 1, std::nullopt, ""},
        {"ab", "a", "aa", 1, std::nullopt, "aab"},      // replacement not searched again
        {"A.a", "a", "x", 1, std::nullopt, "A.x"},      // case counts
        // Character starts: "\xA1\xB0" straddles two characters; "\xA1\xA1" at bytes 2-3 too.
        {"\xB0\xA1\xB0\xA1", "\xA1\xB0", "-", 1, std::nullopt, "\xB0\xA1\xB0\xA1"},
        {"\xB0\xA1\xA1\xA1", "\xA1\xA1", "-", 1, std::nullopt, "\xB0\xA1-"},
        {"\xC4\xE3" "a\xC4\xE3", "\xC4\xE3", "N", 1, std::nullopt, "NaN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Shown(c.text) + " / " + Shown(c.what) + " from " + std::to_string(c.start));
        EXPECT_EQ(ReplaceText(c.text, c.what, c.with, c.start, c.count), c.expected);
    }
    EXPECT_EQ(ReplaceText("a.b", "."), "ab");  // with, start and count omitted
}

TEST(ReplaceText, ManyMatchesInALongText) {
    Text text;
    for (int i = 0; i < 200000; ++i) text += "\xB0\xA1;";
    Text replaced = ReplaceText(text, ";", "");
    EXPECT_EQ(replaced.size(), 400000u);
    EXPECT_EQ(FindText(replaced, ";"), -1);
}

TEST(BoolAndIntText, Table) {
    EXPECT_EQ(BoolText(true), "\xD5\xE6");   // 真
    EXPECT_EQ(BoolText(false), "\xBC\xD9");  // 假
    EXPECT_EQ(IntText(0), "0");
    EXPECT_EQ(IntText(7), "7");
    EXPECT_EQ(IntText(-42), "-42");
    EXPECT_EQ(IntText(1000000), "1000000");
    EXPECT_EQ(IntText(LLONG_MAX), "9223372036854775807");
    EXPECT_EQ(IntText(LLONG_MIN), "-9223372036854775808");
}

TEST(TextToNumber, Table) {
    const std::vector<std::pair<Text, double>> cases = {
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"007", 7},
        {"  12", 12},
        {"\t\r\n\v\f 7", 7},
        {"+3", 3},
        {"-3", -3},
        {"- 3", 0},
        {"+-3", 0},
        {"3.25", 3.25},
        {".5", 0.5},
        {"5.", 5},
        {"-.5", -0.5},
        {".", 0},
        {"-", 0},
        {"1e3", 1000},
        {"1e", 1},
        {"1e+", 1},
        {"1ex", 1},
        {"1E+2", 100},
        {"2.5E-1", 0.25},
        {".5e1", 5},
        {"1e3x", 1000},
        {"1e5e5", 100000},
        {"e5", 0},
        {"12abc", 12},
        {"1,000", 1},
        {"1 2", 1},
        {"0x1A", 0},
        {"inf", 0},
        {"-inf", 0},
        {"nan", 0},
        {"infinity", 0},
        {"1e-400", 0},
        // Full-width forms A3 xx fold to ASCII.
        {"\xA3\xB1\xA3\xB2", 12},
        {"\xA3\xAD\xA3\xB5", -5},
        {"\xA3\xB1\xA3\xAE\xA3\xB5", 1.5},
        {"1\xA3\xC5\xA3\xB3", 1000},
        {"1\xA3\xB2" "3", 123},
        {"\xA1\xA1" "42", 42},        // full-width space is leading white space
        {" \xA1\xA1\xA3\xAB" "8", 8},
        {"\xB0\xA1" "5", 0},          // a character before the digits
        {"\xB0\xA3\xB1", 0},          // A3 here is the second byte of B0 A3
        {"\xA3", 0},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(Shown(text));
        EXPECT_DOUBLE_EQ(TextToNumber(text), expected);
    }
    EXPECT_TRUE(std::isinf(TextToNumber("1e400")));
    EXPECT_GT(TextToNumber("1e400"), 0);
    EXPECT_LT(TextToNumber("-1e400"), 0);
}

TEST(TextToInt, TruncatesTowardZeroAndClamps) {
    const std::vector<std::pair<Text, int>> cases = {
        {"3.9", 3},
        {"-3.9", -3},
        {"0.5", 0},
        {"-0.5", 0},
        {"42abc", 42},
        {"", 0},
        {"x", 0},
        {"2147483647", INT_MAX},
        {"2147483646.9", 2147483646},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"1e10", INT_MAX},
        {"-1e10", INT_MIN},
        {"1e400", INT_MAX},
        {"-1e400", INT_MIN},
        {"\xA3\xB9\xA3\xAE\xA3\xB9", 9},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(Shown(text));
        EXPECT_EQ(TextToInt(text), expected);
    }
}

}  // namespace
}  // namespace quorvane
