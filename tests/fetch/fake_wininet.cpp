#include "tests/fetch/fake_wininet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quorvane::testing {
namespace {

constexpr Dword kErrorInsufficientBuffer = 122;
constexpr Dword kErrorHeaderNotFound = 12150;

struct FakeState {
    FakeScript script;
    FakeRecord record;
    std::size_t nextPiece = 0;
    std::size_t pieceOffset = 0;
    Bytes previousPiece;
    Dword lastError = 0;
};

FakeState& State() {
    static FakeState state;
    return state;
}

char internetTag, connectionTag, requestTag;
Handle const kInternet = &internetTag;
Handle const kConnection = &connectionTag;
Handle const kRequest = &requestTag;

std::string Name(Handle handle) {
    if (handle == kInternet) return "internet";
    if (handle == kConnection) return "connection";
    if (handle == kRequest) return "request";
    return handle ? "unknown handle" : "null";
}

std::string Str(const char* text) { return text ? std::string(text) : std::string("(null)"); }

void Log(const std::string& line) { State().record.calls.push_back(line); }

Handle QUORVANE_WINAPI InternetOpen(const char* agent, Dword accessType, const char* proxy,
                                    const char* proxyBypass, Dword flags) {
    Log("InternetOpenA(" + Str(agent) + " | " + std::to_string(accessType) + " | " + Str(proxy) + " | " +
        Str(proxyBypass) + " | " + std::to_string(flags) + ")");
    return State().script.openSucceeds ? kInternet : nullptr;
}

Handle QUORVANE_WINAPI InternetConnect(Handle internet, const char* host, unsigned short port, const char* user,
                                       const char* password, Dword service, Dword flags,
                                       std::uintptr_t context) {
    Log("InternetConnectA(" + Name(internet) + " | " + Str(host) + " | " + std::to_string(port) + " | " +
        Str(user) + " | " + Str(password) + " | " + std::to_string(service) + " | " + std::to_string(flags) +
        " | " + std::to_string(context) + ")");
    return State().script.connectSucceeds ? kConnection : nullptr;
}

std::string Hex(Dword value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

Handle QUORVANE_WINAPI HttpOpenRequest(Handle connection, const char* verb, const char* object,
                                       const char* version, const char* referrer, const char** acceptTypes,
                                       Dword flags, std::uintptr_t context) {
    Log("HttpOpenRequestA(" + Name(connection) + " | " + Str(verb) + " | " + Str(object) + " | " +
        Str(version) + " | " + Str(referrer) + " | " + (acceptTypes ? "types" : "(null)") + " | " + Hex(flags) +
        " | " + std::to_string(context) + ")");
    return State().script.openRequestSucceeds ? kRequest : nullptr;
}

WinBool QUORVANE_WINAPI HttpSendRequest(Handle request, const char* headers, Dword headersLength, void* optional,
                                        Dword optionalLength) {
    const std::string headerText = headers ? std::string(headers, headersLength) : "(null)";
    const std::string body = optional ? std::string(static_cast<const char*>(optional), optionalLength) : "(null)";
    std::string line = "HttpSendRequestA(" + Name(request) + " | " + headerText + " | " +
                       std::to_string(headersLength) + " | " + body + " | " + std::to_string(optionalLength) + ")";
    // The length must be the whole text: a header text with a zero inside would be cut.
    if (headers && std::strlen(headers) != headersLength) line += " length differs from the text";
    Log(line);
    return 1;
}

WinBool QUORVANE_WINAPI InternetReadFile(Handle file, void* buffer, Dword toRead, Dword* read) {
    FakeState& state = State();
    Log("InternetReadFile(" + Name(file) + " | " + std::to_string(toRead) + ")");
    char* bytes = static_cast<char*>(buffer);
    if (toRead > 0) {
        // Touch both ends: the sanitizer reports a buffer smaller than announced.
        volatile char first = bytes[0];
        volatile char last = bytes[toRead - 1];
        (void)first;
        (void)last;
    }
    if (!state.previousPiece.empty() && toRead >= state.previousPiece.size() &&
        std::memcmp(bytes, state.previousPiece.data(), state.previousPiece.size()) == 0) {
        state.record.readBufferKeptPreviousPiece = true;
    }
    *read = 0;
    if (state.nextPiece >= state.script.bodyPieces.size()) return 1;
    const Bytes& piece = state.script.bodyPieces[state.nextPiece];
    const std::size_t count = std::min<std::size_t>(toRead, piece.size() - state.pieceOffset);
    std::memcpy(bytes, piece.data() + state.pieceOffset, count);
    state.previousPiece.assign(bytes, count);
    state.pieceOffset += count;
    if (state.pieceOffset >= piece.size()) {
        ++state.nextPiece;
        state.pieceOffset = 0;
    }
    *read = static_cast<Dword>(count);
    return 1;
}

WinBool QUORVANE_WINAPI HttpQueryInfo(Handle request, Dword infoLevel, void* buffer, Dword* bufferLength,
                                      Dword* index) {
    FakeState& state = State();
    Log("HttpQueryInfoA(" + Name(request) + " | " + std::to_string(infoLevel) + " | " +
        std::to_string(*bufferLength) + " | " + (index ? "index" : "(null)") + ")");
    if (!state.script.rawHeaders) {
        state.lastError = kErrorHeaderNotFound;
        return 0;
    }
    const Text& headers = *state.script.rawHeaders;
    if (headers.size() + 1 > *bufferLength) {
        *bufferLength = static_cast<Dword>(headers.size() + 1);
        state.lastError = kErrorInsufficientBuffer;
        return 0;
    }
    // Fill the whole announced buffer first: the sanitizer reports a smaller one.
    std::memset(buffer, 'x', *bufferLength);
    std::memcpy(buffer, headers.c_str(), headers.size() + 1);
    *bufferLength = static_cast<Dword>(headers.size());
    return 1;
}

WinBool QUORVANE_WINAPI InternetCloseHandle(Handle internet) {
    Log("InternetCloseHandle(" + Name(internet) + ")");
    return 1;
}

WinBool QUORVANE_WINAPI InternetSetCookie(const char* url, const char* name, const char* data) {
    Log("InternetSetCookieA(" + Str(url) + " | " + Str(name) + " | " + Str(data) + ")");
    return 1;
}

Dword QUORVANE_WINAPI GetLastErrorValue() { return State().lastError; }

}  // namespace

const WinInetApi& FakeWinInet(const FakeScript& script) {
    FakeState& state = State();
    state = FakeState{};
    state.script = script;
    static const WinInetApi api = {&InternetOpen,     &InternetConnect,     &HttpOpenRequest,
                                   &HttpSendRequest,  &InternetReadFile,    &HttpQueryInfo,
                                   &InternetCloseHandle, &InternetSetCookie, &GetLastErrorValue};
    return api;
}

FakeRecord& FakeLog() { return State().record; }

}  // namespace quorvane::testing
