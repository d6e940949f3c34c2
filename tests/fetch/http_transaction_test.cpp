// The transaction through the recording WinInet fake: from request slots to the exact
// calls, and from scripted responses to the slots written back.
#include "fetch/http_transaction.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "tests/fetch/fake_wininet.h"
#include "tests/fetch/request_samples.h"

namespace quorvane {
namespace {

using testing::FakeLog;
using testing::FakeScript;
using testing::FakeWinInet;
using Calls = std::vector<std::string>;

using samples::kAccept;
using samples::kAgent;
using samples::kNo;
using samples::kYes;
using samples::Slots;
const Text kLanguage = "Accept-Language: zh-cn\r\n";
const Text kForm = "Content-Type: application/x-www-form-urlencoded\r\n";
const Text kMail = "mail=abc%40dom.com";  // 18 bytes

// Request flags.
constexpr unsigned kPlain = 0x80000000u | 0x10u | 0x4000u;  // reload, need file, no redirect to https
constexpr unsigned kNoCookies = 0x80000u;
constexpr unsigned kNoRedirect = 0x200000u;
constexpr unsigned kSecure = 0x800000u;

std::string Open(const Text& agent, const Text& proxy = "") {
    return "InternetOpenA(" + agent + " | " + (proxy.empty() ? "1" : "3") + " | " + proxy + " |  | 0)";
}
std::string Connect(const Text& host, int port) {
    return "InternetConnectA(internet | " + host + " | " + std::to_string(port) + " |  |  | 3 | 0 | 0)";
}
std::string OpenRequest(const Text& verb, const Text& path, unsigned flags) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", flags);
    return "HttpOpenRequestA(connection | " + verb + " | " + path + " | HTTP/1.1 |  | (null) | " + hex + " | 0)";
}
std::string Send(const Text& headers, const Bytes& body = "") {
    return "HttpSendRequestA(request | " + headers + " | " + std::to_string(headers.size()) + " | " +
           (body.empty() ? Bytes("(null)") : body) + " | " + std::to_string(body.size()) + ")";
}
const std::string kRead = "InternetReadFile(request | 65536)";
std::string Query(unsigned size) { return "HttpQueryInfoA(request | 22 | " + std::to_string(size) + " | (null))"; }
std::string Close(const std::string& handle) { return "InternetCloseHandle(" + handle + ")"; }
std::string StoreCookie(const Text& host, const Text& name, const Text& data) {
    return "InternetSetCookieA(http://" + host + " | " + name + " | " + data + ")";
}
const Calls kCloseAll = {Close("request"), Close("connection"), Close("internet")};

Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Runs the transaction on `in` and returns the slots it left in the stream.
FetchSlots RunOn(const FetchSlots& in, const FakeScript& script) {
    const WinInetApi& api = FakeWinInet(script);
    SlotStreamRef stream(SlotStream::Create());
    EXPECT_TRUE(stream->Write(in));
    RunTransaction(api, *stream.get());
    FetchSlots out;
    stream->Rewind();
    EXPECT_TRUE(stream->Read(out));
    return out;
}

const Text kOkHeaders = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";

FakeScript Answer() {
    FakeScript script;
    script.bodyPieces = {"ok"};
    script.rawHeaders = kOkHeaders;
    return script;
}

// ---------------------------------------------------------------------------------------
// What a request makes of its slots: the open, connect, open-request and send calls. Every
// case gets the same answer, so the calls after the send are always the same.

struct RequestCase {
    const char* name;
    FetchSlots in;
    Calls request;  // the calls up to and including the send
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class RequestCalls : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestCalls, AreMadeExactly) {
    const RequestCase& c = GetParam();
    const FetchSlots out = RunOn(c.in, Answer());
    Calls expected = c.request;
    const Calls tail = Join({{kRead, kRead, Query(2048)}, kCloseAll});
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(FakeLog().calls, expected);
    EXPECT_EQ(out, (FetchSlots{"ok", "", c.in[2], c.in[3], c.in[4], kOkHeaders, c.in[6]}));
}

const Text kUrl = "http://MyHost:8080/x?y";
const Text kDefaults = kAccept + "Referer: " + kUrl + "\r\n" + kLanguage;

const RequestCase kRequestCases[] = {
    {"GetWithDefaults",
     Slots(kUrl),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain), Send(kDefaults)}},
    {"BareHostRequestsRootOnPort80",
     Slots("http://MyHost"),
     {Open(kAgent), Connect("myhost", 80), OpenRequest("GET", "/", kPlain),
      Send(kAccept + "Referer: http://MyHost\r\n" + kLanguage)}},
    {"CallersUserAgentLineIsTrimmedAndAlsoSent",
     Slots(kUrl, "GET", "", "User-Agent:  Foo/1.0 \r\n"),
     {Open("Foo/1.0"), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain),
      Send("User-Agent:  Foo/1.0 \r\n" + kDefaults)}},
    {"UserAgentInOtherLetterCaseGivesEmptyAgent",
     Slots(kUrl, "GET", "", "user-agent: Foo\r\n"),
     {Open(""), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain),
      Send("user-agent: Foo\r\n" + kDefaults)}},
    {"UserAgentWithoutLineEndGivesEmptyAgentAndIsJoined",
     Slots(kUrl, "GET", "", "User-Agent: Foo"),
     {Open(""), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain), Send("User-Agent: Foo" + kDefaults)}},
    {"ProxyCoversBothSchemes",
     Slots(kUrl, "GET", "127.0.0.1:3128"),
     {Open(kAgent, "http=127.0.0.1:3128 https=127.0.0.1:3128"), Connect("myhost", 8080),
      OpenRequest("GET", "/x?y", kPlain), Send(kDefaults)}},
    {"RedirectsNotAllowed",
     Slots(kUrl, "GET", "", "", "", "", kNo),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain | kNoRedirect), Send(kDefaults)}},
    {"EmptyRedirectSlotMeansNotAllowed",
     Slots(kUrl, "GET", "", "", "", "", ""),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain | kNoRedirect), Send(kDefaults)}},
    {"GetSendsItsCookieText",
     Slots(kUrl, "GET", "", "", "", "a=1; b=2"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain | kNoCookies),
      Send(kDefaults + "Cookie: a=1; b=2\r\n")}},
    {"GetWithBlankCookieTextKeepsStoreCookies",
     Slots(kUrl, "GET", "", "", "", "  "),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain), Send(kDefaults + "Cookie:   \r\n")}},
    {"SecureUsesPort443",
     Slots("https://MyHost/x"),
     {Open(kAgent), Connect("myhost", 443), OpenRequest("GET", "/x", kSecure),
      Send(kAccept + "Referer: https://MyHost/x\r\n" + kLanguage)}},
    {"SecureUsesTheWrittenPort",
     Slots("https://MyHost:8443/x"),
     {Open(kAgent), Connect("myhost", 8443), OpenRequest("GET", "/x", kSecure),
      Send(kAccept + "Referer: https://MyHost:8443/x\r\n" + kLanguage)}},
    {"SecureWithoutRedirectsAndWithCookies",
     Slots("https://MyHost/x", "GET", "", "", "", "a=1", kNo),
     {Open(kAgent), Connect("myhost", 443), OpenRequest("GET", "/x", kSecure | kNoRedirect),
      Send(kAccept + "Referer: https://MyHost/x\r\n" + kLanguage + "Cookie: a=1\r\n")}},
    {"HttpsFurtherOnIsPlainHttp",
     Slots("http://MyHost/go?to=https://other/"),
     {Open(kAgent), Connect("myhost", 80), OpenRequest("GET", "/go?to=https://other/", kPlain),
      Send(kAccept + "Referer: http://MyHost/go?to=https://other/\r\n" + kLanguage)}},
    {"AcceptLanguageSuppressesBothDefaults",
     Slots(kUrl, "GET", "", "Accept-Language: en\r\n"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain),
      Send("Accept-Language: en\r\nReferer: " + kUrl + "\r\n")}},
    {"RefererNoIsRemovedAndNoRefererSent",
     Slots(kUrl, "GET", "", "X-A: 1\r\nRefererNo"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain), Send("X-A: 1\r\n" + kAccept + kLanguage)}},
    {"RefererNoInOtherCaseStaysButSuppressesReferer",
     Slots(kUrl, "GET", "", "REFERERNO\r\n"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain),
      Send("REFERERNO\r\n" + kAccept + kLanguage)}},
    {"CallersRefererIsKept",
     Slots(kUrl, "GET", "", "Referer: x\r\n"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain), Send("Referer: x\r\n" + kAccept + kLanguage)}},
    {"LineWithoutLineEndIsJoinedToTheDefaults",
     Slots(kUrl, "GET", "", "X-A: 1"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("GET", "/x?y", kPlain), Send("X-A: 1" + kDefaults)}},
    {"PostGetsContentTypeAndLength",
     Slots(kUrl, "POST", "", "", kMail),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("POST", "/x?y", kPlain),
      Send(kDefaults + kForm + "Content-Length: 18\r\n", kMail)}},
    {"PostWithCookieText",
     Slots(kUrl, "POST", "", "", kMail, "a=1"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("POST", "/x?y", kPlain | kNoCookies),
      Send(kDefaults + kForm + "Content-Length: 18\r\nCookie: a=1\r\n\r\n", kMail)}},
    {"PostWithBlanksOnlyCookieText",
     Slots(kUrl, "POST", "", "", kMail, "  "),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("POST", "/x?y", kPlain),
      Send(kDefaults + kForm + "Content-Length: 18\r\nCookie:   \r\n\r\n", kMail)}},
    {"PostKeepsCallersContentLines",
     Slots(kUrl, "POST", "", "Content-Type: text/plain\r\nContent-Length: 3\r\n", "abc"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("POST", "/x?y", kPlain),
      Send("Content-Type: text/plain\r\nContent-Length: 3\r\n" + kDefaults, "abc")}},
    {"PostWithoutBodySendsNoContentOrCookieLines",
     Slots(kUrl, "POST", "", "", "", "a=1"),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("POST", "/x?y", kPlain | kNoCookies), Send(kDefaults)}},
    {"PostBodyWithZeroBytesIsSentWhole",
     Slots(kUrl, "POST", "", "", Bytes("a\0b", 3)),
     {Open(kAgent), Connect("myhost", 8080), OpenRequest("POST", "/x?y", kPlain),
      Send(kDefaults + kForm + "Content-Length: 3\r\n", Bytes("a\0b", 3))}},
};

INSTANTIATE_TEST_SUITE_P(Transaction, RequestCalls, ::testing::ValuesIn(kRequestCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Responses, failures and what is written back.

struct ResponseCase {
    const char* name;
    FetchSlots in;
    FakeScript script;
    Calls calls;
    FetchSlots out;
};

void PrintTo(const ResponseCase& c, std::ostream* os) { *os << c.name; }

class ResponseSlots : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(ResponseSlots, AreWrittenBack) {
    const ResponseCase& c = GetParam();
    const FetchSlots out = RunOn(c.in, c.script);
    EXPECT_EQ(FakeLog().calls, c.calls);
    EXPECT_EQ(out, c.out);
}

const Text kPlainUrl = "http://MyHost/a";
const Text kPlainDefaults = kAccept + "Referer: " + kPlainUrl + "\r\n" + kLanguage;
const Calls kPlainRequest = {Open(kAgent), Connect("myhost", 80), OpenRequest("GET", "/a", kPlain),
                             Send(kPlainDefaults)};
const FetchSlots kPlainIn = Slots(kPlainUrl, "GET", "", "X: 1\r\n", "", "a=1");
const Calls kPlainRequestWithCookie = {Open(kAgent), Connect("myhost", 80),
                                       OpenRequest("GET", "/a", kPlain | kNoCookies),
                                       Send("X: 1\r\n" + kPlainDefaults + "Cookie: a=1\r\n")};

FakeScript Script(bool open, bool connect, bool request) {
    FakeScript script = Answer();
    script.openSucceeds = open;
    script.connectSucceeds = connect;
    script.openRequestSucceeds = request;
    return script;
}

FakeScript WithHeaders(std::optional<Text> headers, std::vector<Bytes> pieces = {}) {
    FakeScript script;
    script.rawHeaders = std::move(headers);
    script.bodyPieces = std::move(pieces);
    return script;
}

// Headers longer than the first query size, with the cookie in the last line.
const Text kLongHeaders = "HTTP/1.1 200 OK\r\nX-Filler: " + Text(5000, 'f') + "\r\nSet-Cookie: last=1; path=/\r\n\r\n";
const unsigned kLongSize = static_cast<unsigned>(kLongHeaders.size()) + 1;

const Text kCookieHeaders = "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/\r\nset-cookie: b=2\r\n\r\n";

const Bytes kZeroBody = Bytes("\0\0x\0", 4) + Bytes(4996, 'b');  // 5000 bytes

const ResponseCase kResponseCases[] = {
    {"InternetOpenFails",
     kPlainIn,
     Script(false, true, true),
     {Open(kAgent)},
     {"", "", "", "X: 1\r\n", "", "", ""}},
    {"ConnectFailsAndClosesTheInternetHandle",
     Slots(kPlainUrl, "POST", "p:1", "X: 1\r\n", kMail, "a=1"),
     Script(true, false, true),
     {Open(kAgent, "http=p:1 https=p:1"), Connect("myhost", 80), Close("internet")},
     {"", "", "p:1", "X: 1\r\n", kMail, "", ""}},
    {"OpenRequestFailsAndClosesConnectionThenInternet",
     kPlainIn,
     Script(true, true, false),
     {Open(kAgent), Connect("myhost", 80), OpenRequest("GET", "/a", kPlain | kNoCookies), Close("connection"),
      Close("internet")},
     {"", "", "", "X: 1\r\n", "", "", ""}},
    {"UrlWithLineBreakIsNotRequested",
     Slots("http://MyHost/a\r\nX-Evil: 1", "GET", "", "", "", "a=1"),
     Answer(),
     {},
     {"", "", "", "", "", "", ""}},
    {"UrlWithBareLineFeedIsNotRequested",
     Slots("http://MyHost/a\nX-Evil: 1"),
     Answer(),
     {},
     {"", "", "", "", "", "", ""}},
    {"OtherVerbIsNotSentAndGivesEmptyResults",
     Slots(kPlainUrl, "get"),
     WithHeaders(std::nullopt),
     Join({{Open(kAgent), Connect("myhost", 80), OpenRequest("get", "/a", kPlain), kRead, Query(2048)}, kCloseAll}),
     {"", "", "", "", "", "", kYes}},
    {"NoResponseGivesEmptyHeaders",
     Slots(kPlainUrl),
     WithHeaders(std::nullopt),
     Join({kPlainRequest, {kRead, Query(2048)}, kCloseAll}),
     {"", "", "", "", "", "", kYes}},
    {"BareLineEndOfAnUnansweredRequestGivesEmptyHeaders",
     Slots(kPlainUrl),
     WithHeaders("\r\n"),
     Join({kPlainRequest, {kRead, Query(2048)}, kCloseAll}),
     {"", "", "", "", "", "", kYes}},
    {"LongHeadersAreQueriedAgainWithTheReportedSize",
     Slots(kPlainUrl),
     WithHeaders(kLongHeaders),
     Join({kPlainRequest, {kRead, Query(2048), Query(kLongSize)}, kCloseAll,
           {StoreCookie("myhost", "last", "1; path=/")}}),
     {"", "last=1;", "", "", "", kLongHeaders, kYes}},
    {"CookiesAreStoredAfterTheHandlesAreClosed",
     kPlainIn,
     WithHeaders(kCookieHeaders, {"body"}),
     Join({kPlainRequestWithCookie, {kRead, kRead, Query(2048)}, kCloseAll,
           {StoreCookie("myhost", "sid", "abc; path=/"), StoreCookie("myhost", "b", "2")}}),
     {"body", "sid=abc;;", "", "X: 1\r\n", "", kCookieHeaders, kYes}},
    {"SecureResponseCookiesAreStoredUnderHttp",
     Slots("https://MyHost/s"),
     WithHeaders(kCookieHeaders),
     Join({{Open(kAgent), Connect("myhost", 443), OpenRequest("GET", "/s", kSecure),
            Send(kAccept + "Referer: https://MyHost/s\r\n" + kLanguage), kRead, Query(2048)},
           kCloseAll,
           {StoreCookie("myhost", "sid", "abc; path=/"), StoreCookie("myhost", "b", "2")}}),
     {"", "sid=abc;;", "", "", "", kCookieHeaders, kYes}},
    {"BodyWithZeroBytesInSeveralPiecesComesBackWhole",
     Slots(kPlainUrl),
     WithHeaders(kOkHeaders, {kZeroBody.substr(0, 1000), kZeroBody.substr(1000, 3000), kZeroBody.substr(4000)}),
     Join({kPlainRequest, {kRead, kRead, kRead, kRead, Query(2048)}, kCloseAll}),
     {kZeroBody, "", "", "", "", kOkHeaders, kYes}},
    {"LargeBodyIsReadInPiecesOf64KiB",
     Slots(kPlainUrl),
     WithHeaders(kOkHeaders, {Bytes(65536 * 2 + 5, 'z')}),
     Join({kPlainRequest, {kRead, kRead, kRead, kRead, Query(2048)}, kCloseAll}),
     {Bytes(65536 * 2 + 5, 'z'), "", "", "", "", kOkHeaders, kYes}},
    {"SlotsPastTheSeventhAreDropped",
     {kPlainUrl, "GET", "", "", "", "", kYes, "eighth"},
     Answer(),
     Join({kPlainRequest, {kRead, kRead, Query(2048)}, kCloseAll}),
     {"ok", "", "", "", "", kOkHeaders, kYes}},
    {"MissingSlotsAreEmpty",
     {kPlainUrl, "GET"},
     Answer(),
     Join({{Open(kAgent), Connect("myhost", 80), OpenRequest("GET", "/a", kPlain | kNoRedirect), Send(kPlainDefaults)},
           {kRead, kRead, Query(2048)},
           kCloseAll}),
     {"ok", "", "", "", "", kOkHeaders, ""}},
};

INSTANTIATE_TEST_SUITE_P(Transaction, ResponseSlots, ::testing::ValuesIn(kResponseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Transaction, UnreadableStreamIsLeftAloneAndNothingIsCalled) {
    const WinInetApi& api = FakeWinInet(Answer());
    SlotStreamRef stream(SlotStream::Create());
    stream->RawBytes() = "not a slot array";
    RunTransaction(api, *stream.get());
    EXPECT_TRUE(FakeLog().calls.empty());
    EXPECT_EQ(stream->RawBytes(), "not a slot array");
}

TEST(Transaction, ReadBufferIsNotClearedBetweenPieces) {
    FakeScript script = WithHeaders(kOkHeaders, {"first", "second"});
    RunOn(Slots(kPlainUrl), script);
    EXPECT_TRUE(FakeLog().readBufferKeptPreviousPiece);
}

// ---------------------------------------------------------------------------------------
// The URL and header routines.

TEST(UrlRoutines, Examples) {
    struct Case {
        Text url, host, path;
        int port;
    };
    const Case cases[] = {
        {"http://MyHost:8080/a/b?c", "myhost", "/a/b?c", 8080},
        {"https://MyHost/x", "myhost", "/x", 0},  // UrlPort knows only "http://"
        {"http://MyHost", "myhost", "/", 80},
        {"http://MyHost/", "myhost", "/", 80},
        {"http://MyHost:8080/p?q=1#f", "myhost", "/p?q=1#f", 8080},
        {"http://MyHost:8080", "myhost", "/", 8080},
        {"http://MyHost:abc/", "myhost", "/", 0},
        {"MyHost:81/x", "myhost", "/x", 81},
        {"HTTP://MyHost:82/x", "http", "//MyHost:82/x", 82},  // removal of the scheme matches case
        {"http://MyHost:\xA3\xB8\xA3\xB1/x", "myhost", "/x", 81},  // full-width digits
        {"http://\xC4\xE3\xBA\xC3.Cn/P", "\xC4\xE3\xBA\xC3.cn", "/P", 80},
        {"", "", "/", 80},
        // Hosts named like a piece of the scheme are found behind it.
        {"http://t/x", "t", "/x", 80},
        {"https://s/y?z", "s", "/y?z", 0},
        {"http://p", "p", "/", 80},
        {"http:///x", "", "/x", 80},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UrlHost(c.url), c.host) << c.url;
        EXPECT_EQ(UrlPath(c.url), c.path) << c.url;
        EXPECT_EQ(UrlPort(c.url), c.port) << c.url;
    }
}

TEST(UrlRoutines, SecureAndRequestPort) {
    struct Case {
        Text url;
        bool secure;
        int port;
    };
    const Case cases[] = {
        {"https://MyHost/x", true, 443},        {"HTTPS://MyHost/x", true, 443},
        {"https://MyHost:8443/x", true, 8443},  {"https://MyHost:8443", true, 8443},
        {"https://MyHost", true, 443},          {"http://MyHost/go?to=https://other/", false, 80},
        {"http://MyHost:8080/x", false, 8080},  {" https://MyHost/", false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSecureUrl(c.url), c.secure) << c.url;
        EXPECT_EQ(RequestPort(c.url), c.port) << c.url;
    }
}

TEST(HeaderValue, Examples) {
    EXPECT_EQ(HeaderValue("Host: a\r\nUser-Agent: X/1\r\n", "User-Agent:", "\r\n"), " X/1");
    EXPECT_EQ(HeaderValue("User-Agent: X/1", "User-Agent:", "\r\n"), "");
    EXPECT_EQ(HeaderValue("user-agent: X/1\r\n", "User-Agent:", "\r\n"), "");
    EXPECT_EQ(HeaderValue("A: 1\r\nA: 2\r\n", "A:", "\r\n"), " 1");
    EXPECT_EQ(HeaderValue("A:\r\n", "A:", "\r\n"), "");
    EXPECT_EQ(HeaderValue("", "A:", "\r\n"), "");
}

}  // namespace
}  // namespace quorvane
