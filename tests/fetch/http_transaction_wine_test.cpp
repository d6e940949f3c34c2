// The transaction with the system's WinInet against the loopback server: the bytes on the
// wire, the body, the raw headers and the cookie store.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "fetch/http_transaction.h"
#include "tests/support/loopback_server.h"
#include "tests/fetch/request_samples.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;
using test::RecordedRequest;
using test::ScriptedResponse;

using samples::kAccept;
using samples::kAgent;
using samples::kYes;
using samples::Slots;

// Runs the worker on the slots and returns what it wrote back.
FetchSlots Fetch(const FetchSlots& in) {
    SlotStreamRef stream(SlotStream::Create());
    EXPECT_TRUE(stream->Write(in));
    FetchWorker(stream.get());
    FetchSlots out;
    stream->Rewind();
    EXPECT_TRUE(stream->Read(out));
    return out;
}

// The cookies the store sends to "http://" + host.
Text StoredCookies(const Text& host) {
    const Text url = "http://" + host;
    DWORD size = 0;
    if (!InternetGetCookieA(url.c_str(), nullptr, nullptr, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    Text cookies(size + 1, '\0');
    if (!InternetGetCookieA(url.c_str(), nullptr, cookies.data(), &size)) return {};
    return TextFromBytes(cookies);
}

class WireTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()); }
    RecordedRequest OnlyRequest() {
        EXPECT_TRUE(server.WaitForRequests(1, 10s));
        const auto requests = server.Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? RecordedRequest{} : requests.front();
    }
    LoopbackServer server;
};

// What WinInet puts in front of the header text it is given.
Text Head(const Text& requestLine, const LoopbackServer& server, const Text& agent = kAgent) {
    return requestLine + "\r\nHost: " + server.HostPort() + "\r\nUser-Agent: " + agent + "\r\n";
}

TEST_F(WireTest, GetWithDefaults) {
    server.Enqueue({.body = "hello"});
    const Text url = server.BaseUrl() + "/p?q=1";
    const FetchSlots out = Fetch(Slots(url));
    EXPECT_EQ(OnlyRequest().raw, Head("GET /p?q=1 HTTP/1.1", server) + kAccept + "Referer: " + url +
                                     "\r\nAccept-Language: zh-cn\r\n\r\n");
    EXPECT_EQ(out, (FetchSlots{"hello", "", "", "", "", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", kYes}));
}

TEST_F(WireTest, GetWithCallerLinesAndCookieText) {
    server.Enqueue({.body = "x"});
    const Text url = server.BaseUrl() + "/g";
    Fetch(Slots(url, "GET", "", "User-Agent: Foo/1.0\r\nX-Test: 1\r\nReferer: http://ref/\r\n", "", "a=1; b=2"));
    EXPECT_EQ(OnlyRequest().raw, Head("GET /g HTTP/1.1", server, "Foo/1.0") +
                                     "X-Test: 1\r\nReferer: http://ref/\r\n" + kAccept +
                                     "Accept-Language: zh-cn\r\nCookie: a=1; b=2\r\n\r\n");
}

TEST_F(WireTest, PostWithDefaults) {
    server.Enqueue({.body = "done"});
    const Text url = server.BaseUrl() + "/applymail";
    const FetchSlots out = Fetch(Slots(url, "POST", "", "", "mail=abc%40dom.com"));
    EXPECT_EQ(OnlyRequest().raw, Head("POST /applymail HTTP/1.1", server) + kAccept + "Referer: " + url +
                                     "\r\nAccept-Language: zh-cn\r\n"
                                     "Content-Type: application/x-www-form-urlencoded\r\n"
                                     "Content-Length: 18\r\n\r\nmail=abc%40dom.com");
    EXPECT_EQ(out[0], "done");
}

TEST_F(WireTest, PostWithCallerLinesAndCookieText) {
    server.Enqueue({.body = "done"});
    const Text url = server.BaseUrl() + "/form";
    const Bytes body("a\0b=1", 5);
    Fetch(Slots(url, "POST", "", "Content-Type: text/plain\r\nRefererNo\r\nAccept-Language: en\r\n", body, "s=9"));
    EXPECT_EQ(OnlyRequest().raw, Head("POST /form HTTP/1.1", server) +
                                     "Content-Type: text/plain\r\nAccept-Language: en\r\n"
                                     "Content-Length: 5\r\nCookie: s=9\r\n\r\n" + body);
}

TEST_F(WireTest, BodiesWithZeroBytesComeBackWhole) {
    Bytes small(5000, 's');
    small[0] = small[2500] = small[4999] = '\0';
    Bytes large(5 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); i += 7) large[i] = static_cast<char>(i % 251);
    server.Enqueue({.body = small});
    server.Enqueue({.body = large});
    EXPECT_EQ(Fetch(Slots(server.BaseUrl() + "/small"))[0], small);
    const Bytes got = Fetch(Slots(server.BaseUrl() + "/large"))[0];
    EXPECT_EQ(got.size(), large.size());
    EXPECT_TRUE(got == large);
}

// A value no earlier run can have left in the cookie store of the test prefix.
Text FreshValue() { return std::to_string(GetTickCount64()) + "x" + std::to_string(GetCurrentProcessId()); }

// The requests below carry a cookie text, so WinInet itself leaves the response cookies
// alone (INTERNET_FLAG_NO_COOKIES): what reaches the store is what the harvest put there.
TEST_F(WireTest, CookiesAreHarvestedAndStored) {
    const Text value = FreshValue();
    server.Enqueue({.headers = {"Set-Cookie: qv_sid=" + value + "; path=/", "X-Other: 1", "Set-Cookie: qv_b=2"},
                    .body = "c"});
    const FetchSlots out = Fetch(Slots(server.BaseUrl() + "/c", "GET", "", "", "", "req=1"));
    EXPECT_EQ(out[1], "qv_sid=" + value + ";;");
    EXPECT_EQ(out[5], "HTTP/1.1 200 OK\r\nSet-Cookie: qv_sid=" + value +
                          "; path=/\r\nX-Other: 1\r\nSet-Cookie: qv_b=2\r\nContent-Length: 1\r\n\r\n");
    const Text stored = StoredCookies("127.0.0.1");
    EXPECT_NE(stored.find("qv_sid=" + value), Text::npos) << stored;
    EXPECT_NE(stored.find("qv_b=2"), Text::npos) << stored;
}

TEST_F(WireTest, LongHeadersKeepTheirLastCookie) {
    const Text cookie = "qv_long=" + FreshValue();
    ScriptedResponse response{.body = "l"};
    Text expected = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 12; ++i) {  // about 5 KB of header lines before the cookie
        const Text line = "X-Filler-" + std::to_string(i) + ": " + Text(400, static_cast<char>('a' + i));
        response.headers.push_back(line);
        expected += line + "\r\n";
    }
    response.headers.push_back("Set-Cookie: " + cookie + "; path=/");
    expected += "Set-Cookie: " + cookie + "; path=/\r\nContent-Length: 1\r\n\r\n";
    server.Enqueue(response);
    const FetchSlots out = Fetch(Slots(server.BaseUrl() + "/long", "GET", "", "", "", "req=1"));
    EXPECT_GT(out[5].size(), 4096u);
    EXPECT_TRUE(out[5] == expected) << out[5].size() << " bytes instead of " << expected.size();
    EXPECT_EQ(out[1], cookie + ";");
    EXPECT_NE(StoredCookies("127.0.0.1").find(cookie), Text::npos);
}

TEST_F(WireTest, UnsentVerbGivesEmptyResults) {
    const FetchSlots out = Fetch(Slots(server.BaseUrl() + "/v", "get"));
    EXPECT_EQ(out, (FetchSlots{"", "", "", "", "", "", kYes}));
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(Wire, RefusedConnectionGivesEmptyResults) {
    Text url;
    {
        LoopbackServer closed;
        ASSERT_TRUE(closed.ok());
        url = closed.BaseUrl() + "/gone";
    }
    const FetchSlots out = Fetch(Slots(url, "POST", "", "X: 1\r\n", "m=1", "a=1"));
    EXPECT_EQ(out, (FetchSlots{"", "", "", "X: 1\r\n", "m=1", "", kYes}));
}

TEST_F(WireTest, ProxyGetsPlainRequestsAsAbsoluteUrlsAndSecureOnesAsConnect) {
    server.Enqueue({.body = "via proxy"});
    const FetchSlots out = Fetch(Slots("http://127.0.0.1:9/x?y", "GET", server.HostPort()));
    EXPECT_EQ(out[0], "via proxy");
    server.Enqueue({.status_line = "HTTP/1.1 403 Forbidden", .close_connection = true});
    Fetch(Slots("https://127.0.0.1:9443/s", "GET", server.HostPort()));
    ASSERT_TRUE(server.WaitForRequests(2, 10s));
    const auto requests = server.Requests();
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "http://127.0.0.1:9/x?y");
    EXPECT_EQ(requests[1].method, "CONNECT");
    EXPECT_EQ(requests[1].target, "127.0.0.1:9443");
}

TEST_F(WireTest, ThreadEntryRunsTheWorkerAndDropsItsReference) {
    server.Enqueue({.body = "threaded"});
    SlotStreamRef stream(SlotStream::Create());
    ASSERT_TRUE(stream->Write(Slots(server.BaseUrl() + "/t")));
    stream->AddRef();  // the thread's reference
    HANDLE thread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(&FetchThreadEntry),
                                 stream.get(), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    FetchSlots out;
    stream->Rewind();
    ASSERT_TRUE(stream->Read(out));
    EXPECT_EQ(out[0], "threaded");
}

TEST_F(WireTest, AbandonedStreamIsFreedByTheWorker) {
    server.Enqueue({.body = "late", .delay = 300ms});
    SlotStream* stream = SlotStream::Create();
    ASSERT_TRUE(stream->Write(Slots(server.BaseUrl() + "/late")));
    stream->AddRef();
    HANDLE thread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(&FetchThreadEntry),
                                 stream, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    stream->Close();  // the caller gives up before the worker is done
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(server.RequestCount(), 1u);
}

}  // namespace
}  // namespace quorvane
