// The window's logic that needs no window: addresses, request body, caption, placement,
// typed-character filter and the code page 936 texts.
#include <gtest/gtest.h>

#include <string>

#include "app/gbk_text.h"
#include "app/mailbox_request.h"

namespace quorvane {
namespace {

TEST(ServiceAddresses, AreBuiltFromTheWebHost) {
    EXPECT_EQ(ServiceHomePage("127.0.0.1:8025"), "http://127.0.0.1:8025/");
    EXPECT_EQ(ApplicationAddress("127.0.0.1:8025"), "http://127.0.0.1:8025/applymail");
}

TEST(OfficialSiteAddress, CompletesABareHostAndLeavesEmptyEmpty) {
    EXPECT_EQ(OfficialSiteAddress(""), "");
    EXPECT_EQ(OfficialSiteAddress("quorvane.test"), "http://quorvane.test");
    EXPECT_EQ(OfficialSiteAddress("127.0.0.1:8026"), "http://127.0.0.1:8026");
    EXPECT_EQ(OfficialSiteAddress("HTTPS://quorvane.test/"), "HTTPS://quorvane.test/");
    EXPECT_EQ(OfficialSiteAddress("http://127.0.0.1:8026/"), "http://127.0.0.1:8026/");
}

struct EncodingCase {
    const char* name;
    const char* value;
    const char* encoded;
};

class FormEncodeTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(FormEncodeTest, EncodesEveryByteButTheUnreservedOnes) {
    EXPECT_EQ(FormEncode(GetParam().value), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormEncodeTest,
    testing::Values(EncodingCase{"Empty", "", ""},
                    EncodingCase{"TypableNameUnchanged", "325931666666666666666666666666666",
                                 "325931666666666666666666666666666"},
                    EncodingCase{"DigitsAndDash", "12-34", "12-34"},
                    EncodingCase{"Unreserved", "AZaz09-._~", "AZaz09-._~"},
                    EncodingCase{"FieldSeparatorsAndSpace", "a&b=c d", "a%26b%3Dc%20d"},
                    EncodingCase{"PercentPlusAt", "%+@", "%25%2B%40"},
                    EncodingCase{"ControlAndHighBytes", "\x01\x7F\x80\xFF", "%01%7F%80%FF"},
                    // 邮箱 in GBK: both bytes of each character, upper-case hex.
                    EncodingCase{"TwoByteCharacters", "\xD3\xCA\xCF\xE4", "%D3%CA%CF%E4"}),
    [](const testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

TEST(MailboxRequestBody, IsMailNameAtDomain) {
    EXPECT_EQ(MailboxRequestBody("325931666666666666666666666666666", "qv.test"),
              "mail=325931666666666666666666666666666%40qv.test");
}

TEST(MailboxRequestBody, EmptyNameGivesTheDomainAlone) {
    EXPECT_EQ(MailboxRequestBody("", "qv.test"), "mail=%40qv.test");
}

TEST(MailboxRequestBody, PastedNameCannotAddOrSplitFields) {
    EXPECT_EQ(MailboxRequestBody("a&b c", "qv.test"), "mail=a%26b%20c%40qv.test");
}

TEST(MainWindowCaption, IsProductDomainAndSeventeenBlanks) {
    const Text caption = MainWindowCaption("quorvane.test");
    EXPECT_EQ(caption, "Quorvane - quorvane.test                 ");
    EXPECT_EQ(caption.size(), 11u + 13u + 17u);
}

TEST(MailDomainLabel, IsAtSignAndDomain) { EXPECT_EQ(MailDomainLabel("qv.test"), "@qv.test"); }

TEST(CentredOrigin, UsesIntegerDivisionOfTheFreeSpace) {
    const WindowOrigin origin = CentredOrigin(1024, 768, 768, 570);
    EXPECT_EQ(origin.x, 128);
    EXPECT_EQ(origin.y, 99);
    const WindowOrigin odd = CentredOrigin(1367, 769, 768, 570);
    EXPECT_EQ(odd.x, 299);
    EXPECT_EQ(odd.y, 99);
}

TEST(TypedCharacterFilter, PassesControlCodesDigitsAndDashOnly) {
    for (unsigned int code = 0; code < 0x3000; ++code) {
        const bool expected = code < 32 || code == '-' || (code >= '0' && code <= '9');
        EXPECT_EQ(IsTypedCharacterAllowed(code), expected) << "code " << code;
    }
}

TEST(ClampFontSize, HoldsTheZoomWithinZeroToFour) {
    EXPECT_EQ(ClampFontSize(-3), 0);
    EXPECT_EQ(ClampFontSize(0), 0);
    EXPECT_EQ(ClampFontSize(2), 2);
    EXPECT_EQ(ClampFontSize(4), 4);
    EXPECT_EQ(ClampFontSize(9), 4);
}

TEST(GbkText, ConvertsBothWays) {
    const Text prompt = "*\xC7\xEB\xCA\xE4\xC8\xEB\xD2\xAA\xB8\xC4\xB5\xC4\xD3\xCA\xCF\xE4\xA3\xBA";
    const std::wstring wide = WideFromGbk(prompt);
    EXPECT_EQ(wide, std::wstring(L"*\u8BF7\u8F93\u5165\u8981\u6539\u7684\u90AE\u7BB1\uFF1A"));
    EXPECT_EQ(GbkFromWide(wide), prompt);
    EXPECT_EQ(WideFromGbk("\xD2\xBB\xBC\xFC\xC9\xEA\xC7\xEB"), std::wstring(L"\u4E00\u952E\u7533\u8BF7"));
}

TEST(GbkText, EmptyStaysEmptyAndUnknownCharactersBecomeQuestionMarks) {
    EXPECT_EQ(WideFromGbk(""), L"");
    EXPECT_EQ(GbkFromWide(L""), "");
    EXPECT_EQ(GbkFromWide(L"a\u0E01b"), "a?b");  // no Thai letters in GBK
}

}  // namespace
}  // namespace quorvane
