// The conversions against a recording national-language table: which calls they make with
// which arguments, and what they return when a call fails.
#include "fetch/text_conversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {
namespace {

// A wide text as the conversions hold it: UTF-16 little-endian, two bytes a unit.
Bytes Wide(const std::u16string& units) {
    Bytes bytes;
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// One call as the fake saw it. `input` holds the bytes read: a multibyte text as is, a wide
// text as UTF-16LE; with length -1 up to, not including, the terminating zero.
struct NlsCall {
    std::string function;
    unsigned codePage = 0;  // the locale for LCMapStringA
    Dword flags = 0;
    Bytes input;
    int inputLength = 0;
    bool output = false;  // a buffer was given
    int outputLength = 0;
    std::optional<std::string> defaultChar;  // nullopt: null pointer
    bool usedDefault = false;                // a flag pointer was given

    bool operator==(const NlsCall&) const = default;
};

void PrintTo(const NlsCall& call, std::ostream* os) {
    *os << call.function << "(" << call.codePage << ", 0x" << std::hex << call.flags << std::dec << ", ";
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : call.input) {
        if (c >= 0x20 && c < 0x7F) *os << char(c);
        else *os << "\\x" << kHex[c >> 4] << kHex[c & 0xF];
    }
    *os << ", " << call.inputLength << ", " << (call.output ? "buffer" : "null") << ", " << call.outputLength;
    if (call.function == "WideCharToMultiByte") {
        *os << ", " << (call.defaultChar ? "\"" + *call.defaultChar + "\"" : std::string("null")) << ", "
            << (call.usedDefault ? "flag" : "null");
    }
    *os << ")";
}

NlsCall Mbtwc(unsigned codePage, const Bytes& text, int length, int outputLength) {
    return {"MultiByteToWideChar", codePage, 0, text, length, outputLength > 0, outputLength, std::nullopt, false};
}
NlsCall Wctmb(unsigned codePage, const Bytes& wide, int length, int outputLength) {
    return {"WideCharToMultiByte", codePage, 0, wide, length, outputLength > 0, outputLength, std::nullopt, false};
}
NlsCall MapString(const Bytes& text, int length, int outputLength) {
    return {"LCMapStringA", 2052, 0x02000000, text, length, outputLength > 0, outputLength, std::nullopt, false};
}

// What the fake answers to the next call: the return value and the bytes it writes into
// the output buffer (UTF-16LE for a wide buffer), cut to the buffer's size.
struct Reply {
    Reply(int result = 0, Bytes written = {}) : result(result), written(std::move(written)) {}
    int result;
    Bytes written;
};

class FakeNls {
public:
    FakeNls() { current_ = this; }
    ~FakeNls() { current_ = nullptr; }
    FakeNls(const FakeNls&) = delete;
    FakeNls& operator=(const FakeNls&) = delete;

    const NlsApi& Api() const { return api_; }
    void Answer(std::vector<Reply> replies) { replies_.assign(replies.begin(), replies.end()); }
    const std::vector<NlsCall>& Calls() const { return calls_; }

private:
    // Without a scripted reply a call fails.
    Reply Next() {
        if (replies_.empty()) return {};
        Reply reply = replies_.front();
        replies_.pop_front();
        return reply;
    }

    static int QUORVANE_WINAPI MultiByteToWideChar(unsigned int codePage, Dword flags, const char* text, int textLength,
                                                   WideUnit* wide, int wideLength) {
        const Bytes input = textLength < 0 ? Bytes(text) : Bytes(text, static_cast<std::size_t>(textLength));
        current_->calls_.push_back(Mbtwc(codePage, input, textLength, wide ? wideLength : 0));
        current_->calls_.back().flags = flags;
        const Reply reply = current_->Next();
        for (std::size_t i = 0; wide && i + 1 < reply.written.size() && i / 2 < std::size_t(wideLength); i += 2) {
            const auto low = static_cast<unsigned char>(reply.written[i]);
            const auto high = static_cast<unsigned char>(reply.written[i + 1]);
            wide[i / 2] = static_cast<WideUnit>(low | (high << 8));
        }
        return reply.result;
    }

    static int QUORVANE_WINAPI WideCharToMultiByte(unsigned int codePage, Dword flags, const WideUnit* wide,
                                                   int wideLength, char* text, int textLength, const char* defaultChar,
                                                   WinBool* usedDefault) {
        std::u16string units;
        if (wideLength < 0) {
            for (const WideUnit* p = wide; *p; ++p) units += static_cast<char16_t>(*p);
        } else {
            for (int i = 0; i < wideLength; ++i) units += static_cast<char16_t>(wide[i]);
        }
        NlsCall call = Wctmb(codePage, Wide(units), wideLength, text ? textLength : 0);
        call.flags = flags;
        if (defaultChar) call.defaultChar = std::string(defaultChar);
        call.usedDefault = usedDefault != nullptr;
        current_->calls_.push_back(call);
        const Reply reply = current_->Next();
        if (text) reply.written.copy(text, std::min<std::size_t>(reply.written.size(), std::size_t(textLength)));
        return reply.result;
    }

    static int QUORVANE_WINAPI LCMapStringA(Dword locale, Dword flags, const char* source, int sourceLength,
                                            char* destination, int destinationLength) {
        const Bytes input = sourceLength < 0 ? Bytes(source) : Bytes(source, static_cast<std::size_t>(sourceLength));
        NlsCall call = MapString(input, sourceLength, destination ? destinationLength : 0);
        call.codePage = static_cast<unsigned>(locale);
        call.flags = flags;
        current_->calls_.push_back(call);
        const Reply reply = current_->Next();
        if (destination) {
            reply.written.copy(destination, std::min<std::size_t>(reply.written.size(), std::size_t(destinationLength)));
        }
        return reply.result;
    }

    static inline FakeNls* current_ = nullptr;
    NlsApi api_{&MultiByteToWideChar, &WideCharToMultiByte, &LCMapStringA};
    std::deque<Reply> replies_;
    std::vector<NlsCall> calls_;
};

TEST(TextConversionCalls, EmptyInputGivesEmptyResultWithoutCalls) {
    FakeNls fake;
    const NlsApi& nls = fake.Api();
    EXPECT_EQ(Utf8ToAnsi(nls, ""), "");
    EXPECT_EQ(Big5ToSimplified(nls, ""), "");
    EXPECT_EQ(AnsiToWide(nls, ""), "");
    EXPECT_EQ(WideToAnsi(nls, ""), "");
    EXPECT_EQ(Big5ToGbk(nls, ""), "");
    EXPECT_EQ(ToSimplified(nls, ""), "");
    EXPECT_TRUE(fake.Calls().empty());
}

TEST(TextConversionCalls, AnsiToWideMeasuresThenConvertsIntoTwiceTheUnits) {
    FakeNls fake;
    fake.Answer({{3}, {3, Wide(u"ab")}});
    EXPECT_EQ(AnsiToWide(fake.Api(), "ab"), Bytes("a\0b\0\0\0", 6));
    EXPECT_EQ(fake.Calls(), (std::vector<NlsCall>{Mbtwc(65001, "ab", -1, 0), Mbtwc(65001, "ab", -1, 3)}));

    FakeNls other;
    other.Answer({{2}, {2, Wide(u"x")}});
    EXPECT_EQ(AnsiToWide(other.Api(), "\xA4\xA4", 950), Bytes("x\0\0\0", 4));
    EXPECT_EQ(other.Calls(), (std::vector<NlsCall>{Mbtwc(950, "\xA4\xA4", -1, 0), Mbtwc(950, "\xA4\xA4", -1, 2)}));
}

TEST(TextConversionCalls, WideToAnsiMeasuresInTheAnsiCodePageAndDoubles) {
    FakeNls fake;
    fake.Answer({{3}, {3, Bytes("xy\0", 3)}});
    EXPECT_EQ(WideToAnsi(fake.Api(), Wide(u"ab") + Bytes(2, '\0'), 936), "xy");
    EXPECT_EQ(fake.Calls(), (std::vector<NlsCall>{Wctmb(0, Wide(u"ab"), -1, 0), Wctmb(936, Wide(u"ab"), -1, 6)}));

    FakeNls omitted;
    omitted.Answer({{2}, {2, Bytes("q\0", 2)}});
    EXPECT_EQ(WideToAnsi(omitted.Api(), Wide(u"a")), "q");  // no terminating unit: one is supplied
    EXPECT_EQ(omitted.Calls(), (std::vector<NlsCall>{Wctmb(0, Wide(u"a"), -1, 0), Wctmb(0, Wide(u"a"), -1, 4)}));
}

TEST(TextConversionCalls, Big5ToGbkConvertsAllUnitsWithTheCodePagesDefaultCharacter) {
    FakeNls fake;
    const Bytes units = Wide(std::u16string(u"\u4E2D\u570B") + u'\0');
    fake.Answer({{3}, {3, units}, {5}, {5, Bytes("\xD6\xD0\x87\xF8\0", 5)}});
    EXPECT_EQ(Big5ToGbk(fake.Api(), "\xA4\xA4\xB0\xEA"), "\xD6\xD0\x87\xF8");
    // The GBK calls take the explicit count of units, the terminating zero among them, and
    // no default character of their own (a null pointer), so the code page's own applies.
    EXPECT_EQ(fake.Calls(), (std::vector<NlsCall>{Mbtwc(950, "\xA4\xA4\xB0\xEA", -1, 0),
                                                  Mbtwc(950, "\xA4\xA4\xB0\xEA", -1, 3), Wctmb(936, units, 3, 0),
                                                  Wctmb(936, units, 3, 5)}));
}

TEST(TextConversionCalls, ToSimplifiedMapsWithExplicitLengthIntoEqualSize) {
    FakeNls fake;
    fake.Answer({{4, "\xD6\xD0\xBB\xAA"}});
    EXPECT_EQ(ToSimplified(fake.Api(), "\xD6\xD0\xC8\x41"), "\xD6\xD0\xBB\xAA");
    EXPECT_EQ(fake.Calls(), (std::vector<NlsCall>{MapString("\xD6\xD0\xC8\x41", 4, 4)}));

    FakeNls partial;  // what the call leaves unwritten stays a space
    partial.Answer({{2, "ab"}});
    EXPECT_EQ(ToSimplified(partial.Api(), "wxyz"), "ab  ");
}

TEST(TextConversionCalls, Utf8ToAnsiReadsUtf8AndWritesGbk) {
    FakeNls fake;
    fake.Answer({{2}, {2, Wide(u"\u4E2D")}, {3}, {3, Bytes("\xD6\xD0\0", 3)}});
    EXPECT_EQ(Utf8ToAnsi(fake.Api(), "\xE4\xB8\xAD"), "\xD6\xD0");
    EXPECT_EQ(fake.Calls(),
              (std::vector<NlsCall>{Mbtwc(65001, "\xE4\xB8\xAD", -1, 0), Mbtwc(65001, "\xE4\xB8\xAD", -1, 2),
                                    Wctmb(0, Wide(u"\u4E2D"), -1, 0), Wctmb(936, Wide(u"\u4E2D"), -1, 6)}));
}

TEST(TextConversionCalls, Big5ToSimplifiedMapsTheGbkText) {
    FakeNls fake;
    const Bytes units = Wide(std::u16string(u"\u83EF") + u'\0');
    fake.Answer({{2}, {2, units}, {3}, {3, Bytes("\xC8\x41\0", 3)}, {2, "\xBB\xAA"}});
    EXPECT_EQ(Big5ToSimplified(fake.Api(), "\xB5\xD8"), "\xBB\xAA");
    ASSERT_EQ(fake.Calls().size(), 5u);
    EXPECT_EQ(fake.Calls()[4], MapString("\xC8\x41", 2, 2));
}

struct FailureCase {
    const char* name;
    std::function<Bytes(const NlsApi&)> operation;
    std::vector<Reply> replies;  // the call after the last reply fails
    Bytes expected;
    std::size_t calls;
};

void PrintTo(const FailureCase& failure, std::ostream* os) { *os << failure.name; }

class TextConversionFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(TextConversionFailure, ShowsOnlyInTheResult) {
    const FailureCase& failure = GetParam();
    FakeNls fake;
    fake.Answer(failure.replies);
    EXPECT_EQ(failure.operation(fake.Api()), failure.expected);
    EXPECT_EQ(fake.Calls().size(), failure.calls);
}

const Bytes kTwoUnits = Wide(std::u16string(u"a") + u'\0');

INSTANTIATE_TEST_SUITE_P(
    Table, TextConversionFailure,
    testing::Values(
        FailureCase{"AnsiToWideMeasure", [](const NlsApi& nls) { return AnsiToWide(nls, "a"); }, {}, "", 1},
        FailureCase{"AnsiToWideConversion", [](const NlsApi& nls) { return AnsiToWide(nls, "abc"); }, {{4}},
                    Bytes(8, '\0'), 2},
        FailureCase{"WideToAnsiMeasure", [](const NlsApi& nls) { return WideToAnsi(nls, kTwoUnits, 936); }, {}, "", 1},
        FailureCase{"WideToAnsiConversion", [](const NlsApi& nls) { return WideToAnsi(nls, kTwoUnits, 936); }, {{2}},
                    "    ", 2},
        FailureCase{"WideToAnsiSizeBeyondInt", [](const NlsApi& nls) { return WideToAnsi(nls, kTwoUnits); },
                    {{INT_MAX / 2 + 1}}, "", 1},
        FailureCase{"Big5ToGbkWideMeasure", [](const NlsApi& nls) { return Big5ToGbk(nls, "\xA4\xA4"); }, {}, "", 1},
        FailureCase{"Big5ToGbkGbkMeasure", [](const NlsApi& nls) { return Big5ToGbk(nls, "\xA4\xA4"); },
                    {{2}, {2, Wide(u"\u4E2D")}}, "", 3},
        FailureCase{"Big5ToGbkConversion", [](const NlsApi& nls) { return Big5ToGbk(nls, "\xA4\xA4"); },
                    {{2}, {2, Wide(u"\u4E2D")}, {3}}, "   ", 4},
        FailureCase{"ToSimplifiedMapping", [](const NlsApi& nls) { return ToSimplified(nls, "\xD6\xD0x"); }, {},
                    "   ", 1}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(TextConversionFailure, Big5ToGbkPassesZeroUnitsOnWhenTheWideConversionFails) {
    FakeNls fake;
    fake.Answer({{2}, {0}, {2}, {2, Bytes(2, '\0')}});
    EXPECT_EQ(Big5ToGbk(fake.Api(), "\xA4\xA4"), "");
    ASSERT_EQ(fake.Calls().size(), 4u);
    EXPECT_EQ(fake.Calls()[2], Wctmb(936, Bytes(4, '\0'), 2, 0));
}

TEST(FillerValues, CountsBelowOneGiveEmptyValues) {
    EXPECT_EQ(ZeroBytes(3), Bytes(3, '\0'));
    EXPECT_EQ(SpaceText(2), "  ");
    for (int n : {0, -1, INT_MIN}) {
        EXPECT_EQ(ZeroBytes(n), "") << n;
        EXPECT_EQ(SpaceText(n), "") << n;
    }
}

}  // namespace
}  // namespace quorvane
