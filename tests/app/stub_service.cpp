#include "tests/app/stub_service.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>

namespace quorvane {

namespace {

constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

class WinsockSession {
public:
    WinsockSession() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (ok_) WSACleanup();
    }

private:
    bool ok_ = false;
};

// Waits up to 50 ms for `s` to become readable.
bool Readable(SOCKET s) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{0, 50000};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
}

}  // namespace

std::string StubRequest::Header(const std::string& name) const {
    const std::string wanted = Lower(name) + ":";
    size_t start = head.find("\r\n");
    while (start != std::string::npos && start + 2 < head.size()) {
        start += 2;
        const size_t end = head.find("\r\n", start);
        const std::string line = head.substr(start, end - start);
        if (Lower(line.substr(0, wanted.size())) == wanted) {
            const size_t value = line.find_first_not_of(' ', wanted.size());
            return value == std::string::npos ? "" : line.substr(value);
        }
        start = end;
    }
    return "";
}

StubAnswer CookieAnswer(const std::string& value) {
    StubAnswer answer;
    answer.extraHeaders = "Set-Cookie: mailbox=" + value + "; path=/\r\n";
    answer.body = "<html><body>applied</body></html>";
    return answer;
}

StubService::StubService(std::uint16_t port, Responder responder)
    : responder_(std::move(responder)), listener_(kNoSocket) {
    static WinsockSession winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    BOOL reuse = TRUE;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, 16) != 0) {
        closesocket(s);
        return;
    }
    listener_ = s;
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

StubService::~StubService() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& connection : connections_) connection.join();
    if (listener_ != kNoSocket) closesocket(static_cast<SOCKET>(listener_));
}

std::vector<StubRequest> StubService::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<StubEvent> StubService::Journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

bool StubService::WaitFor(const std::function<bool(const std::vector<StubRequest>&)>& predicate,
                          unsigned timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return predicate(requests_); });
}

bool StubService::WaitStopped(unsigned ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_; });
}

void StubService::AcceptLoop() {
    const SOCKET listener = static_cast<SOCKET>(listener_);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        if (!Readable(listener)) continue;
        SOCKET connection = accept(listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] { Serve(connection); });
    }
}

void StubService::Serve(std::uintptr_t handle) {
    const SOCKET s = static_cast<SOCKET>(handle);
    std::string pending;
    for (;;) {
        // One request: the head up to the blank line, then Content-Length bytes of body.
        size_t headEnd;
        while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
            if (WaitStopped(0)) break;
            if (!Readable(s)) continue;
            char buffer[4096];
            const int got = recv(s, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            pending.append(buffer, static_cast<size_t>(got));
        }
        if (headEnd == std::string::npos) break;
        StubRequest request;
        request.head = pending.substr(0, headEnd + 2);
        pending.erase(0, headEnd + 4);
        const size_t space = request.head.find(' ');
        request.method = request.head.substr(0, space);
        request.path = request.head.substr(space + 1, request.head.find(' ', space + 1) - space - 1);
        const size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
        bool closed = false;
        while (pending.size() < length && !closed) {
            if (WaitStopped(0)) closed = true;
            if (closed || !Readable(s)) continue;
            char buffer[4096];
            const int got = recv(s, buffer, sizeof buffer, 0);
            if (got <= 0) closed = true;
            else pending.append(buffer, static_cast<size_t>(got));
        }
        if (closed) break;
        request.body = pending.substr(0, length);
        pending.erase(0, length);
        {
            std::lock_guard lock(mutex_);
            request.number = static_cast<int>(requests_.size()) + 1;
            requests_.push_back(request);
            journal_.push_back({StubEvent::kArrived, request.number});
        }
        changed_.notify_all();

        const StubAnswer answer = responder_ ? responder_(request) : StubAnswer{};
        if (answer.stall) {
            while (!WaitStopped(1000)) {
            }
            break;
        }
        if (answer.delayMs && WaitStopped(answer.delayMs)) break;
        const std::string reply = "HTTP/1.1 " + std::to_string(answer.status) + " OK\r\n"
                                  "Content-Type: text/html; charset=utf-8\r\n"
                                  "Cache-Control: no-store\r\n"
                                  "Content-Length: " + std::to_string(answer.body.size()) + "\r\n" +
                                  answer.extraHeaders + "\r\n" + answer.body;
        {
            // Journal the answer before sending it, so it precedes whatever the client does next.
            std::lock_guard lock(mutex_);
            journal_.push_back({StubEvent::kAnswered, request.number});
        }
        changed_.notify_all();
        send(s, reply.data(), static_cast<int>(reply.size()), 0);
    }
    shutdown(s, SD_BOTH);
    closesocket(s);
}

}  // namespace quorvane
