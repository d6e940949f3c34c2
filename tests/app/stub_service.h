// A scripted stand-in for the temporary-mail service on 127.0.0.1, for the window tests:
// it records every request with the moment it arrived and the moment it was answered,
// and answers as the test says (at once, late, or not until it stops).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvane {

struct StubRequest {
    int number = 0;          // 1, 2, ... in order of arrival
    std::string method, path;
    std::string head;        // the request line and header lines, as received
    std::string body;
    // The value of a header line (case-insensitive name), or "" when absent.
    std::string Header(const std::string& name) const;
};

struct StubAnswer {
    int status = 200;
    std::string extraHeaders;  // whole lines, each ending in "\r\n"
    std::string body = "<html><body>stub</body></html>";
    unsigned delayMs = 0;      // answer after this long
    bool stall = false;        // never answer (until the service stops)
};

// One entry of the service's journal, in the order things happened.
struct StubEvent {
    enum Kind { kArrived, kAnswered } kind;
    int request;  // StubRequest::number
};

class StubService {
public:
    using Responder = std::function<StubAnswer(const StubRequest&)>;

    // Listens on 127.0.0.1:`port`; Listening() tells whether that worked.
    StubService(std::uint16_t port, Responder responder);
    StubService(const StubService&) = delete;
    StubService& operator=(const StubService&) = delete;
    ~StubService();  // stops: stalled and delayed answers are dropped, threads joined

    bool Listening() const { return listener_ != ~std::uintptr_t{0}; }
    std::vector<StubRequest> Requests() const;
    std::vector<StubEvent> Journal() const;
    // Waits until `predicate` holds for the requests so far, or the time runs out.
    bool WaitFor(const std::function<bool(const std::vector<StubRequest>&)>& predicate,
                 unsigned timeoutMs) const;

private:
    void AcceptLoop();
    void Serve(std::uintptr_t connection);
    bool WaitStopped(unsigned ms);

    Responder responder_;
    std::uintptr_t listener_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<StubRequest> requests_;
    std::vector<StubEvent> journal_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// The answer of a service that sets a session cookie: "Set-Cookie: mailbox=<value>; path=/".
StubAnswer CookieAnswer(const std::string& value);

}  // namespace quorvane
