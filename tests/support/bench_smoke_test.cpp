// Proves the bench itself: the programs run under Wine with GBK as the ANSI code page, and
// the loopback server speaks exact bytes to a plain Winsock client.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/loopback_server.h"

namespace {

using namespace std::chrono_literals;
using quorvane::test::LoopbackServer;
using quorvane::test::RecordedRequest;
using quorvane::test::ScriptedResponse;

TEST(Bench, AnsiCodePageIsGbk) { EXPECT_EQ(GetACP(), 936u); }

// A blocking client socket with a receive timeout, so that no test can hang on it.
class RawClient {
public:
    explicit RawClient(std::uint16_t port) {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        DWORD timeout_ms = 10000;
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
                   sizeof(timeout_ms));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        if (started_) WSACleanup();
    }
    bool connected() const { return connected_; }

    bool Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            int n = send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Everything until the server closes (or the receive timeout ends it).
    std::string ReadToClose() {
        std::string all;
        char buffer[65536];
        int n;
        while ((n = recv(socket_, buffer, sizeof(buffer), 0)) > 0) all.append(buffer, n);
        closed_by_peer_ = n == 0;
        return all;
    }
    // Exactly n bytes, or fewer when the connection ends first.
    std::string Read(std::size_t n) {
        std::string all;
        char buffer[65536];
        while (all.size() < n) {
            int got = recv(socket_, buffer, static_cast<int>(std::min(sizeof(buffer), n - all.size())), 0);
            if (got <= 0) break;
            all.append(buffer, got);
        }
        return all;
    }
    bool closed_by_peer() const { return closed_by_peer_; }

private:
    bool started_ = false;
    bool connected_ = false;
    bool closed_by_peer_ = false;
    SOCKET socket_ = INVALID_SOCKET;
};

TEST(LoopbackServer, AnswersRawClientWithExactBytesAndRecordsTheRequest) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    EXPECT_EQ(server.BaseUrl(), "http://127.0.0.1:" + std::to_string(server.Port()));
    server.Enqueue({.status_line = "HTTP/1.1 200 OK",
                    .headers = {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2; path=/",
                                "Content-Type: text/html"},
                    .body = std::string("x\0y\0z", 5)});

    RawClient client(server.Port());
    ASSERT_TRUE(client.connected());
    const std::string request =
        "GET /mail?box=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: s=9\r\nConnection: close\r\n\r\n";
    ASSERT_TRUE(client.Send(request));
    EXPECT_EQ(client.ReadToClose(),
              "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; path=/\r\n"
              "Content-Type: text/html\r\nContent-Length: 5\r\n\r\n" +
                  std::string("x\0y\0z", 5));
    EXPECT_TRUE(client.closed_by_peer());

    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw, request);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/mail?box=1");
    EXPECT_EQ(requests[0].version, "HTTP/1.1");
    EXPECT_EQ(requests[0].Header("cookie"), "s=9");
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_FALSE(requests[0].malformed);
}

TEST(LoopbackServer, ReadsBodyByContentLengthAndKeepsTheConnectionAlive) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.body = "first"});
    server.SetHandler([](const RecordedRequest& request) {
        return ScriptedResponse{.body = "echo:" + request.body};
    });

    RawClient client(server.Port());
    ASSERT_TRUE(client.connected());
    const std::string body("a\0b=\xB0\xA1", 6);
    const std::string post = "POST /p HTTP/1.1\r\nContent-Length: 6\r\n\r\n";
    // The body comes in a later packet than the head, as WinInet may send it.
    ASSERT_TRUE(client.Send(post));
    Sleep(50);
    ASSERT_TRUE(client.Send(body));
    const std::string first = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst";
    EXPECT_EQ(client.Read(first.size()), first);

    ASSERT_TRUE(client.Send("POST /q HTTP/1.1\r\ncontent-length: 3\r\n\r\nxyz"));
    const std::string second = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\necho:xyz";
    EXPECT_EQ(client.Read(second.size()), second);

    std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw, post + body);
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(requests[1].body, "xyz");
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(LoopbackServer, ServesALargeBodyWithZeroBytes) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    std::string body(10 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < body.size(); i += 7) body[i] = static_cast<char>(i % 251);
    server.Enqueue({.body = body, .close_connection = true});

    RawClient client(server.Port());
    ASSERT_TRUE(client.Send("GET /big HTTP/1.1\r\n\r\n"));
    std::string got = client.ReadToClose();
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10485760\r\n\r\n";
    ASSERT_EQ(got.size(), head.size() + body.size());
    EXPECT_EQ(got.substr(0, head.size()), head);
    EXPECT_TRUE(got.substr(head.size()) == body);
}

TEST(LoopbackServer, ClosesMidBodyAfterTheScriptedBytes) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.body = std::string(1000, 'b'), .close_after_body_bytes = 10});

    RawClient client(server.Port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.ReadToClose(), "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nbbbbbbbbbb");
    EXPECT_TRUE(client.closed_by_peer());
}

TEST(LoopbackServer, SendsRawResponsesAndTheDefaultAnswer) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.raw = "HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", .close_connection = true});
    {
        RawClient client(server.Port());
        ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(client.ReadToClose(), "HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n");
    }
    RawClient client(server.Port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(client.ReadToClose(), "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
}

TEST(LoopbackServer, DelaysTheAnswer) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.body = "late", .delay = 300ms, .close_connection = true});
    RawClient client(server.Port());
    auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.ReadToClose(), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlate");
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 250ms);
}

TEST(LoopbackServer, StallEndsWhenTheServerStopsWhileOtherClientsAreServed) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetHandler([](const RecordedRequest& request) {
        return ScriptedResponse{.body = "ok", .stall = request.target == "/stall"};
    });
    RawClient stalled(server.Port());
    ASSERT_TRUE(stalled.Send("GET /stall HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(server.WaitForRequests(1, 10s));

    RawClient other(server.Port());
    ASSERT_TRUE(other.Send("GET /other HTTP/1.1\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(other.ReadToClose(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");

    RawClient idle(server.Port());  // connected, sends nothing
    ASSERT_TRUE(idle.connected());
    server.Stop();
    EXPECT_EQ(stalled.ReadToClose(), "");
    EXPECT_TRUE(stalled.closed_by_peer());
    EXPECT_EQ(server.ConnectionCount(), 3);
}

TEST(LoopbackServer, RecordsAndAnswersConnect) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.status_line = "HTTP/1.1 200 Connection established", .add_content_length = false});
    RawClient client(server.Port());
    const std::string connect = "CONNECT mail.example:443 HTTP/1.1\r\nHost: mail.example:443\r\n\r\n";
    ASSERT_TRUE(client.Send(connect));
    const std::string answer = "HTTP/1.1 200 Connection established\r\n\r\n";
    EXPECT_EQ(client.Read(answer.size()), answer);
    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    RecordedRequest request = server.Requests()[0];
    EXPECT_EQ(request.raw, connect);
    EXPECT_EQ(request.method, "CONNECT");
    EXPECT_EQ(request.target, "mail.example:443");
}

TEST(LoopbackServer, RejectsGarbageWithoutUsingTheQueueAndKeepsServing) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.body = "kept", .close_connection = true});
    const std::string bad_request =
        "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    for (const std::string& garbage :
         {std::string("\x01\x02\0garbage\r\n\r\n", 14), std::string("GET /\r\n\r\n"),
          std::string("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n"),
          std::string("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n")}) {
        RawClient client(server.Port());
        ASSERT_TRUE(client.Send(garbage));
        EXPECT_EQ(client.ReadToClose(), bad_request);
    }
    {
        RawClient client(server.Port());  // a head that never ends
        client.Send(std::string(1100000, 'A'));
        EXPECT_EQ(client.ReadToClose(), bad_request);
    }
    std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    for (const RecordedRequest& request : requests) EXPECT_TRUE(request.malformed);
    EXPECT_EQ(server.QueuedResponses(), 1u);

    RawClient client(server.Port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.ReadToClose(), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nkept");
}

// WinInet itself as the client: two GETs through one session, bodies with zero bytes,
// cookies from several Set-Cookie headers stored and sent back.
TEST(LoopbackServer, ServesWinInet) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.Enqueue({.headers = {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2; path=/"},
                    .body = std::string("one\0", 4)});
    server.Enqueue({.body = std::string("\0two", 4)});

    HINTERNET session = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    auto get = [&](const std::string& url) {
        std::string body;
        HINTERNET request = InternetOpenUrlA(session, url.c_str(), nullptr, 0,
                                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
        if (!request) return std::string("<failed>");
        char buffer[4096];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof(buffer), &got) && got > 0) body.append(buffer, got);
        InternetCloseHandle(request);
        return body;
    };
    EXPECT_EQ(get(server.BaseUrl() + "/one"), std::string("one\0", 4));
    EXPECT_EQ(get(server.BaseUrl() + "/two"), std::string("\0two", 4));
    InternetCloseHandle(session);

    std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/one");
    EXPECT_EQ(requests[1].target, "/two");
    EXPECT_NE(requests[1].Header("Cookie").find("a=1"), std::string::npos);
    EXPECT_NE(requests[1].Header("Cookie").find("b=2"), std::string::npos);
}

TEST(LoopbackServer, WaitForRequestsTimesOut) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    EXPECT_FALSE(server.WaitForRequests(1, 50ms));
    EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
