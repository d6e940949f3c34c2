// A scripted HTTP server for Windows test programs, listening on 127.0.0.1 with a port
// chosen by the system. It runs inside the test program (one thread accepting, one thread
// per connection, several requests per connection) and stops in its destructor, also while
// a client is still connected or a response is stalled.
//
// Usage:
//   quorvane::test::LoopbackServer server;            // listening when server.ok()
//   server.Enqueue({.status_line = "HTTP/1.1 200 OK",
//                   .headers = {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2; path=/"},
//                   .body = std::string("x\0y", 3)});
//   ... client requests server.BaseUrl() + "/path" ...
//   ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(10)));
//   auto requests = server.Requests();   // requests[0].raw holds the exact bytes received
//
// Which response answers a request: the next queued one (Enqueue, first in first out);
// when the queue is empty, the handler (SetHandler); without one, "HTTP/1.1 404 Not Found"
// with an empty body. A CONNECT request (proxy tests) is recorded and answered the same
// way. A request whose head can't be parsed (no "METHOD TARGET VERSION" line, a head over
// 1 MB, a bad or huge Content-Length) is recorded with `malformed` set, answered
// "HTTP/1.1 400 Bad Request" without touching the queue, and its connection closed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorvane::test {

// One scripted answer. Sent as: status line CRLF, each header CRLF,
// "Content-Length: <body size>" CRLF (unless `add_content_length` is false or a header
// already names Content-Length or Transfer-Encoding), CRLF, body.
struct ScriptedResponse {
    std::string status_line = "HTTP/1.1 200 OK";  // without CRLF
    std::vector<std::string> headers;             // "Name: value", without CRLF
    std::string body;                             // any size, zero bytes allowed
    bool add_content_length = true;
    // Sent verbatim instead of status line, headers and body when set.
    std::optional<std::string> raw;
    // Waits this long before answering (cut short when the server stops).
    std::chrono::milliseconds delay{0};
    // Never answers; the connection stays open until the server stops.
    bool stall = false;
    // Sends the head and only this many bytes of the body (Content-Length still names the
    // whole body; with `raw`, this many bytes of it), then closes the connection.
    std::optional<std::size_t> close_after_body_bytes;
    // Closes the connection after this response (otherwise it is kept alive unless the
    // request asked for "Connection: close").
    bool close_connection = false;
};

// One request as received.
struct RecordedRequest {
    std::string raw;      // exact bytes: request line, header lines, blank line, body
    std::string method;   // "GET", "POST", "CONNECT", ...
    std::string target;   // "/path?query", or "host:port" for CONNECT
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
    std::string body;     // Content-Length bytes (zero bytes kept)
    int connection = 0;   // 1 for the first connection accepted, 2 for the next, ...
    bool malformed = false;

    // Value of the first header of that name (ASCII case ignored), "" when none.
    std::string Header(const std::string& name) const;
    // Values of every header of that name, in order.
    std::vector<std::string> Headers(const std::string& name) const;
};

class LoopbackServer {
public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

    // Starts listening on 127.0.0.1:0 and accepting.
    LoopbackServer();
    // Stop().
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // True when the server is listening.
    bool ok() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:PORT", no trailing slash.
    std::string BaseUrl() const;
    // "127.0.0.1:PORT", e.g. for a proxy setting.
    std::string HostPort() const;

    // Thread-safe; may be called while clients are connected.
    void Enqueue(ScriptedResponse response);
    void SetHandler(Handler handler);
    std::size_t QueuedResponses() const;

    // Copies of the requests received so far, in the order they were complete.
    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    // Waits until at least n requests were received; false on timeout.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;
    // Number of connections accepted so far.
    int ConnectionCount() const;

    // Closes every socket, ends stalls and delays, joins every thread. Idempotent.
    void Stop();

private:
    struct Connection;

    void AcceptLoop();
    void Serve(Connection& connection);
    ScriptedResponse NextResponse(const RecordedRequest& request);
    void Record(const RecordedRequest& request);
    bool WaitUnlessStopping(std::chrono::milliseconds duration);
    void ReapFinished(bool all);

    std::uintptr_t listener_;
    std::uint16_t port_ = 0;
    bool winsock_started_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::atomic<bool> stopping_{false};
    std::deque<ScriptedResponse> queue_;
    Handler handler_;
    std::vector<RecordedRequest> requests_;
    int connections_accepted_ = 0;
    std::list<std::unique_ptr<Connection>> connections_;

    std::thread acceptor_;
};

}  // namespace quorvane::test
