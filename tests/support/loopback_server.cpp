// The scripted loopback server. Every socket is non-blocking and every wait is a short
// select() or a condition wait, so each thread notices Stop() within a few tens of
// milliseconds whatever its client does; each connection's socket is closed by its own
// thread.
#include "tests/support/loopback_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>

namespace quorvane::test {

namespace {

constexpr std::size_t kMaxHead = 1 << 20;
constexpr unsigned long long kMaxBody = 256ull << 20;
constexpr long kPollMicroseconds = 20000;

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& s) {
    std::size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    std::size_t end = s.find_last_not_of(" \t");
    return s.substr(begin, end - begin + 1);
}

bool SetNonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

// Waits up to one poll interval for the socket to become readable or writable.
bool Ready(SOCKET s, bool for_write) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval timeout{0, kPollMicroseconds};
    int n = for_write ? select(0, nullptr, &set, nullptr, &timeout)
                      : select(0, &set, nullptr, nullptr, &timeout);
    return n > 0;
}

// Splits the head (without its final blank line) into the fields of `request`.
// False when the request line is not "METHOD TARGET HTTP/x".
bool ParseHead(const std::string& head, RecordedRequest& request) {
    std::size_t line_end = head.find("\r\n");
    std::string line = head.substr(0, line_end);
    std::size_t first = line.find(' ');
    std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (first == 0 || second == std::string::npos || second == first + 1) return false;
    request.method = line.substr(0, first);
    request.target = line.substr(first + 1, second - first - 1);
    request.version = line.substr(second + 1);
    for (char c : request.method) {
        if (c < 'A' || c > 'Z') return false;
    }
    if (request.version.rfind("HTTP/", 0) != 0 || request.version.find(' ') != std::string::npos)
        return false;
    while (line_end != std::string::npos) {
        std::size_t begin = line_end + 2;
        line_end = head.find("\r\n", begin);
        std::string header = head.substr(begin, line_end == std::string::npos ? std::string::npos
                                                                              : line_end - begin);
        std::size_t colon = header.find(':');
        if (colon == std::string::npos) {
            request.headers.emplace_back(header, std::string());
        } else {
            request.headers.emplace_back(header.substr(0, colon), Trim(header.substr(colon + 1)));
        }
    }
    return true;
}

// Content-Length of the request: 0 without one, nullopt when it is not a sane number.
std::optional<std::size_t> BodyLength(const RecordedRequest& request) {
    std::string value = request.Header("Content-Length");
    if (value.empty()) {
        for (const auto& [name, v] : request.headers) {
            if (EqualNoCase(name, "Content-Length")) return std::nullopt;  // present but empty
        }
        return std::size_t{0};
    }
    unsigned long long n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > kMaxBody) return std::nullopt;
    }
    return static_cast<std::size_t>(n);
}

bool HasHeader(const std::vector<std::string>& headers, const std::string& name) {
    for (const std::string& header : headers) {
        std::size_t colon = header.find(':');
        if (colon != std::string::npos && EqualNoCase(Trim(header.substr(0, colon)), name))
            return true;
    }
    return false;
}

bool HeaderSaysClose(const std::vector<std::string>& headers) {
    for (const std::string& header : headers) {
        std::size_t colon = header.find(':');
        if (colon != std::string::npos && EqualNoCase(Trim(header.substr(0, colon)), "Connection") &&
            EqualNoCase(Trim(header.substr(colon + 1)), "close"))
            return true;
    }
    return false;
}

// Ends the sending side, then reads until the client closes (at most two seconds, cut
// short by `stopping`) so that unread request bytes don't turn the close into a reset
// that would discard response bytes the client has not read yet.
void CloseGracefully(SOCKET s, const std::atomic<bool>& stopping) {
    shutdown(s, SD_SEND);
    char buffer[4096];
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!stopping && std::chrono::steady_clock::now() < until) {
        if (!Ready(s, false)) continue;
        int n = recv(s, buffer, sizeof(buffer), 0);
        if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) break;
    }
    closesocket(s);
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (EqualNoCase(key, name)) return value;
    }
    return {};
}

std::vector<std::string> RecordedRequest::Headers(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers) {
        if (EqualNoCase(key, name)) values.push_back(value);
    }
    return values;
}

struct LoopbackServer::Connection {
    SOCKET socket = INVALID_SOCKET;
    int id = 0;
    std::atomic<bool> done{false};
    std::thread thread;
};

LoopbackServer::LoopbackServer() : listener_(INVALID_SOCKET) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    winsock_started_ = true;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    listener_ = s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof(address);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(s, SOMAXCONN) != 0 || !SetNonBlocking(s) ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

std::string LoopbackServer::BaseUrl() const { return "http://" + HostPort(); }

std::string LoopbackServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

void LoopbackServer::Enqueue(ScriptedResponse response) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(response));
}

void LoopbackServer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

std::size_t LoopbackServer::QueuedResponses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t LoopbackServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

bool LoopbackServer::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

int LoopbackServer::ConnectionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_accepted_;
}

void LoopbackServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    ReapFinished(true);
    if (listener_ != INVALID_SOCKET) {
        closesocket(static_cast<SOCKET>(listener_));
        listener_ = INVALID_SOCKET;
    }
    if (winsock_started_) {
        WSACleanup();
        winsock_started_ = false;
    }
}

void LoopbackServer::ReapFinished(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& connection : finished) {
        if (connection->thread.joinable()) connection->thread.join();
    }
}

void LoopbackServer::AcceptLoop() {
    SOCKET listener = static_cast<SOCKET>(listener_);
    while (!stopping_) {
        ReapFinished(false);
        if (!Ready(listener, false)) continue;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        if (!SetNonBlocking(client)) {
            closesocket(client);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = client;
        Connection* raw = connection.get();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connection->id = ++connections_accepted_;
            connections_.push_back(std::move(connection));
        }
        raw->thread = std::thread([this, raw] {
            try {
                Serve(*raw);
            } catch (...) {
                // A throwing handler or no memory: the connection just ends.
            }
            CloseGracefully(raw->socket, stopping_);
            raw->done = true;
        });
    }
}

bool LoopbackServer::WaitUnlessStopping(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto stop = [&] { return stopping_.load(); };
    if (duration == std::chrono::milliseconds::max()) {
        changed_.wait(lock, stop);
        return false;
    }
    return !changed_.wait_for(lock, duration, stop);
}

ScriptedResponse LoopbackServer::NextResponse(const RecordedRequest& request) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!queue_.empty()) {
            ScriptedResponse response = std::move(queue_.front());
            queue_.pop_front();
            return response;
        }
        handler = handler_;
    }
    if (handler) return handler(request);
    return ScriptedResponse{.status_line = "HTTP/1.1 404 Not Found"};
}

void LoopbackServer::Record(const RecordedRequest& request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    changed_.notify_all();
}

void LoopbackServer::Serve(Connection& connection) {
    SOCKET s = connection.socket;
    std::string pending;
    char buffer[65536];

    // Appends what the client sent within one poll interval; false when it closed.
    auto receive = [&]() -> bool {
        if (!Ready(s, false)) return true;
        int n = recv(s, buffer, sizeof(buffer), 0);
        if (n > 0) {
            pending.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
    };
    auto send_all = [&](const char* data, std::size_t size) -> bool {
        while (size > 0) {
            if (stopping_) return false;
            int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 16));
            int n = send(s, data, chunk, 0);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
            } else if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
                Ready(s, true);
            } else {
                return false;
            }
        }
        return true;
    };
    auto reject = [&](std::string raw) {
        RecordedRequest request;
        request.raw = std::move(raw);
        request.connection = connection.id;
        request.malformed = true;
        Record(request);
        static const char kBadRequest[] =
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        send_all(kBadRequest, sizeof(kBadRequest) - 1);
    };

    while (!stopping_) {
        std::size_t head_end;
        while ((head_end = pending.find("\r\n\r\n")) == std::string::npos) {
            if (pending.size() > kMaxHead) {
                reject(std::move(pending));
                return;
            }
            if (!receive() || stopping_) return;
        }
        RecordedRequest request;
        request.connection = connection.id;
        std::optional<std::size_t> body_length;
        if (!ParseHead(pending.substr(0, head_end), request) ||
            !(body_length = BodyLength(request))) {
            reject(pending.substr(0, head_end + 4));
            return;
        }
        std::size_t total = head_end + 4 + *body_length;
        while (pending.size() < total) {
            if (!receive() || stopping_) return;
        }
        request.raw = pending.substr(0, total);
        request.body = pending.substr(head_end + 4, *body_length);
        pending.erase(0, total);
        Record(request);

        ScriptedResponse response = NextResponse(request);
        if (response.stall) {
            WaitUnlessStopping(std::chrono::milliseconds::max());
            return;
        }
        if (response.delay.count() > 0 && !WaitUnlessStopping(response.delay)) return;

        std::string out;
        std::size_t head_size = 0;
        if (response.raw) {
            out = *response.raw;
        } else {
            out = response.status_line + "\r\n";
            for (const std::string& header : response.headers) out += header + "\r\n";
            if (response.add_content_length && !HasHeader(response.headers, "Content-Length") &&
                !HasHeader(response.headers, "Transfer-Encoding"))
                out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
            out += "\r\n";
            head_size = out.size();
            out += response.body;
        }
        if (response.close_after_body_bytes) {
            std::size_t cut = std::min(out.size(), head_size + *response.close_after_body_bytes);
            send_all(out.data(), cut);
            return;
        }
        if (!send_all(out.data(), out.size())) return;

        std::string connection_header = request.Header("Connection");
        bool close = response.close_connection || HeaderSaysClose(response.headers) ||
                     EqualNoCase(connection_header, "close") ||
                     (request.version == "HTTP/1.0" && !EqualNoCase(connection_header, "keep-alive"));
        if (close) return;
    }
}

}  // namespace quorvane::test
