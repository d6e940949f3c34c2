// FetchPage end to end under Windows: real WinInet against the loopback server.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "fetch/fetch_page.h"
#include "tests/fetch/exit_child_run.h"
#include "tests/support/loopback_server.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;
using test::RecordedRequest;
using test::ScriptedResponse;
using Clock = std::chrono::steady_clock;
const Bytes kTimeout(kFetchTimeoutMessage, 44);

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class FetchPageHttp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()); }
    Text Url(const Text& path) const { return server.BaseUrl() + path; }
    LoopbackServer server;
};

// Blank urls and urls with line breaks start nothing; "http://" goes in front of anything
// that begins with neither "http://" nor "https://" (case significant). The loopback server
// serves as the proxy, so that whatever host such a url names, the request line that WinInet
// makes of it reaches the server and no name is looked up.
TEST_F(FetchPageHttp, UrlStep) {
    server.SetHandler([](const RecordedRequest& request) {
        return ScriptedResponse{.body = "reached " + request.target};
    });
    const Text base = server.BaseUrl(), hostPort = server.HostPort();
    struct Case {
        Text url, urlAfter;
        std::optional<Text> requestLine;  // nullopt: nothing reaches the server
        Bytes result;
    };
    const Case cases[] = {
        {"", "", std::nullopt, ""},
        {"   ", "   ", std::nullopt, ""},
        {"\xA1\xA1\xA1\xA1", "\xA1\xA1\xA1\xA1", std::nullopt, ""},
        {" \xA1\xA1 ", " \xA1\xA1 ", std::nullopt, ""},
        {base + "/a\r\nX-Injected: 1", base + "/a\r\nX-Injected: 1", std::nullopt, ""},
        {base + "/a\n", base + "/a\n", std::nullopt, ""},
        {hostPort + "/plain", "http://" + hostPort + "/plain", "GET http://" + hostPort + "/plain HTTP/1.1",
         "reached http://" + hostPort + "/plain"},
        {base + "/as-is", base + "/as-is", "GET " + base + "/as-is HTTP/1.1", "reached " + base + "/as-is"},
        {"\t", "http://\t", "GET http://\t:80/ HTTP/1.1", "reached http://\t:80/"},
        // The space ends up inside the request target: the server rejects the request.
        {" " + base + "/space", "http:// " + base + "/space",
         "GET http:// 127.0.0.1:80//%20" + base + "/space HTTP/1.1", ""},
        {"HTTP://" + hostPort + "/caps", "http://HTTP://" + hostPort + "/caps",
         "GET http://http:80//" + hostPort + "/caps HTTP/1.1", "reached http://http:80//" + hostPort + "/caps"},
        {"ftp://" + hostPort + "/ftp", "http://ftp://" + hostPort + "/ftp",
         "GET http://ftp:80//" + hostPort + "/ftp HTTP/1.1", "reached http://ftp:80//" + hostPort + "/ftp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const std::size_t before = server.RequestCount();
        Text url = c.url;
        EXPECT_EQ(FetchPage(url, {.proxy = hostPort, .timeoutSeconds = 5}), c.result);
        EXPECT_EQ(url, c.urlAfter);
        if (c.requestLine) {
            ASSERT_EQ(server.RequestCount(), before + 1);
            const Text raw = server.Requests().back().raw;
            EXPECT_EQ(raw.substr(0, raw.find("\r\n")), *c.requestLine);
        } else {
            EXPECT_EQ(server.RequestCount(), before);
        }
    }

    // "https://" is kept as it is. Straight to the server (not through the proxy): WinInet
    // opens a TLS connection, which the plain server never answers, so the call runs into
    // its time limit with no request received.
    const int connections = server.ConnectionCount();
    const std::size_t before = server.RequestCount();
    Text url = "https://" + hostPort + "/tls";
    EXPECT_EQ(FetchPage(url, {.timeoutSeconds = 2}), kTimeout);
    EXPECT_EQ(url, "https://" + hostPort + "/tls");
    EXPECT_GT(server.ConnectionCount(), connections);
    EXPECT_EQ(server.RequestCount(), before);
}

TEST_F(FetchPageHttp, MethodSlotChoosesTheVerb) {
    server.SetHandler([](const RecordedRequest&) { return ScriptedResponse{.body = "ok"}; });
    struct Case {
        std::optional<int> method;
        const char* verb;
    };
    const Case cases[] = {{std::nullopt, "GET"}, {0, "GET"}, {2, "GET"}, {-1, "GET"}, {1, "POST"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb);
        Text url = Url("/m");
        FetchOptions options{.postData = "a=1"};
        if (c.method) options.method = *c.method;
        EXPECT_EQ(FetchPage(url, options), "ok");
        const RecordedRequest request = server.Requests().back();
        EXPECT_EQ(request.method, c.verb);
        if (Text(c.verb) == "POST") {
            EXPECT_EQ(request.body, "a=1");
        }
    }
}

TEST_F(FetchPageHttp, AllowRedirectDecidesWhetherA302IsFollowed) {
    server.SetHandler([](const RecordedRequest& request) {
        if (request.target == "/moved")
            return ScriptedResponse{.status_line = "HTTP/1.1 302 Found", .headers = {"Location: /target"}, .body = "moved"};
        return ScriptedResponse{.body = "arrived"};
    });
    struct Case {
        std::optional<bool> allowRedirect;
        Bytes body;
        std::size_t requests;
    };
    const Case cases[] = {{std::nullopt, "arrived", 2}, {true, "arrived", 2}, {false, "moved", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const std::size_t before = server.RequestCount();
        Text url = Url("/moved");
        EXPECT_EQ(FetchPage(url, {.allowRedirect = c.allowRedirect}), c.body);
        EXPECT_EQ(server.RequestCount() - before, c.requests);
    }
}

TEST_F(FetchPageHttp, GivenOutputsReceiveHeadersAndCookiesAndZeroBytesSurvive) {
    const Bytes body("before\0after", 12);
    server.Enqueue({.headers = {"Set-Cookie: sid=42; path=/", "X-Mark: yes"}, .body = body});
    Text url = Url("/out"), headers = "old", cookies = "old";
    EXPECT_EQ(FetchPage(url, {.responseHeaders = &headers, .decodeMode = 0, .responseCookies = &cookies}), body);
    EXPECT_EQ(headers.rfind("HTTP/1.1 200", 0), 0u) << headers;
    EXPECT_NE(headers.find("X-Mark: yes\r\n"), Text::npos) << headers;
    EXPECT_NE(cookies.find("sid=42"), Text::npos) << cookies;
    EXPECT_EQ(headers.find('\0'), Text::npos);

    // Omitted outputs: the call has nothing to write to and still returns the body.
    server.Enqueue({.headers = {"Set-Cookie: sid=43; path=/"}, .body = body});
    url = Url("/out");
    EXPECT_EQ(FetchPage(url), body);
}

// A stalled server: the exact timeout message, nothing written, and the response that
// the abandoned worker receives later changes nothing.
TEST_F(FetchPageHttp, TimeLimitGivesTheMessageAndTheLateResponseChangesNothing) {
    server.Enqueue({.headers = {"Set-Cookie: late=1; path=/"}, .body = "late body", .delay = 1800ms});
    Text url = Url("/slow"), headers = "old headers", cookies = "old cookies";
    const auto start = Clock::now();
    const Bytes result = FetchPage(url, {.timeoutSeconds = 1, .responseHeaders = &headers, .responseCookies = &cookies});
    const long long took = MsSince(start);
    EXPECT_EQ(result, kTimeout);
    EXPECT_EQ(result.size(), 44u);
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 1500);
    EXPECT_EQ(headers, "old headers");
    EXPECT_EQ(cookies, "old cookies");
    // Let the late response arrive and the worker finish with it.
    Sleep(1500);
    EXPECT_EQ(headers, "old headers");
    EXPECT_EQ(cookies, "old cookies");
    // The process carries on normally afterwards.
    server.Enqueue({.body = "next"});
    url = Url("/next");
    EXPECT_EQ(FetchPage(url, {.responseHeaders = &headers}), "next");
    EXPECT_NE(headers, "old headers");
}

TEST_F(FetchPageHttp, ZeroTimeoutGivesTheMessageEvenForAFastServer) {
    server.SetHandler([](const RecordedRequest&) { return ScriptedResponse{.body = "fast"}; });
    Text url = Url("/fast");
    EXPECT_EQ(FetchPage(url, {.timeoutSeconds = 0}), kTimeout);
}

LRESULT CALLBACK NestingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
Bytes* g_innerResult = nullptr;
Text g_innerUrl;
std::vector<Text>* g_order = nullptr;

LRESULT CALLBACK NestingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        Text url = g_innerUrl;
        *g_innerResult = FetchPage(url, {.timeoutSeconds = 10});
        g_order->push_back("inner done");
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A handler run inside the wait calls FetchPage again: its request completes first, then
// the outer call completes with its own result.
TEST_F(FetchPageHttp, NestedCallFromAWindowHandlerCompletesFirst) {
    server.SetHandler([](const RecordedRequest& request) {
        if (request.target == "/outer") return ScriptedResponse{.body = "outer body", .delay = 700ms};
        return ScriptedResponse{.body = "inner body"};
    });
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &NestingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuorvaneFetchNestingTest";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    Bytes inner;
    std::vector<Text> order;
    g_innerResult = &inner;
    g_innerUrl = Url("/inner");
    g_order = &order;
    PostMessageA(window, WM_APP, 0, 0);
    Text url = Url("/outer");
    const Bytes outer = FetchPage(url, {.timeoutSeconds = 10});
    order.push_back("outer done");
    EXPECT_EQ(inner, "inner body");
    EXPECT_EQ(outer, "outer body");
    EXPECT_EQ(order, (std::vector<Text>{"inner done", "outer done"}));
    DestroyWindow(window);
}

// A program whose worker is still blocked in WinInet on a stalled server when it returns
// from main ends at once with exit code 0.
TEST_F(FetchPageHttp, ProgramEndsPromptlyWhileItsWorkerIsBlockedInWinInet) {
    server.Enqueue({.stall = true});
    const testing::ChildEnding ending = testing::RunExitChild("QuorvaneFetchHttpChildDone", Url("/stalled"));
    EXPECT_TRUE(ending.signalled);
    EXPECT_TRUE(ending.ended);
    EXPECT_LT(ending.msAfterSignal, 1000);
    EXPECT_TRUE(server.WaitForRequests(1, 5s));  // the worker really was waiting for an answer
    EXPECT_EQ(ending.exitCode, 0u);
}

}  // namespace
}  // namespace quorvane
