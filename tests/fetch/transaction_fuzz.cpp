// libFuzzer target over the URL routines, HeaderValue, TextBefore, the cookie harvest's
// line walk and the whole transaction, with a WinInet table that does nothing but hand
// out handles and play the input back as the raw response headers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fetch/cookie_harvest.h"
#include "fetch/http_transaction.h"

namespace quorvane {
namespace {

Text fuzzHeaders;
char handleTag;

Handle QUORVANE_WINAPI Open(const char*, Dword, const char*, const char*, Dword) { return &handleTag; }
Handle QUORVANE_WINAPI Connect(Handle, const char*, unsigned short, const char*, const char*, Dword, Dword,
                               std::uintptr_t) {
    return &handleTag;
}
Handle QUORVANE_WINAPI OpenRequest(Handle, const char*, const char*, const char*, const char*, const char**, Dword,
                                   std::uintptr_t) {
    return &handleTag;
}
WinBool QUORVANE_WINAPI Send(Handle, const char* headers, Dword length, void*, Dword) {
    if (headers && std::strlen(headers) != length) std::abort();
    return 1;
}
WinBool QUORVANE_WINAPI Read(Handle, void*, Dword, Dword* read) {
    *read = 0;
    return 1;
}
Dword lastError = 0;
WinBool QUORVANE_WINAPI Query(Handle, Dword, void* buffer, Dword* length, Dword*) {
    if (fuzzHeaders.size() + 1 > *length) {
        *length = static_cast<Dword>(fuzzHeaders.size() + 1);
        lastError = 122;
        return 0;
    }
    std::memcpy(buffer, fuzzHeaders.c_str(), fuzzHeaders.size() + 1);
    *length = static_cast<Dword>(fuzzHeaders.size());
    return 1;
}
WinBool QUORVANE_WINAPI CloseHandle(Handle) { return 1; }
WinBool QUORVANE_WINAPI SetCookie(const char* url, const char* name, const char* data) {
    if (!url || !name || !data) std::abort();
    return 1;
}
Dword QUORVANE_WINAPI LastError() { return lastError; }

const WinInetApi kNoOp = {&Open, &Connect, &OpenRequest, &Send, &Read, &Query, &CloseHandle, &SetCookie, &LastError};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace
}  // namespace quorvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvane;
    // Zero bytes split the input into the texts the routines take.
    std::vector<Text> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    parts.resize(std::max<std::size_t>(parts.size(), 4));
    const Text& text = parts[0];
    const int start = size > 0 ? static_cast<int>(data[0] % 16) - 4 : 1;

    const Text host = UrlHost(text);
    Check(FindText(host, "/") == -1 && FindText(host, ":") == -1);
    const Text path = UrlPath(text);
    Check(!path.empty() && path[0] == '/');
    (void)UrlPort(text);
    (void)RequestPort(text);
    (void)IsSecureUrl(text);

    const Text value = HeaderValue(text, parts[1], parts[2]);
    Check(value.size() <= text.size());
    const Text before = TextBefore(text, parts[1], start, (size & 1) != 0);
    Check(text.compare(0, before.size(), before) == 0);

    const Text cookies = HarvestCookies(kNoOp, text, parts[3]);
    Check(cookies.size() <= text.size());

    // The whole transaction: URL, verb, headers and cookie text from the input, the input
    // again as the response headers.
    fuzzHeaders = text;
    SlotStreamRef stream(SlotStream::Create());
    const FetchSlots slots = {parts[1], (size & 2) ? "POST" : "GET", parts[2], parts[3], text, parts[2],
                              (size & 4) ? "\xD5\xE6" : ""};
    if (stream && stream->Write(slots)) {
        RunTransaction(kNoOp, *stream.get());
        FetchSlots out;
        stream->Rewind();
        Check(stream->Read(out) && out.size() == kFetchSlotCount);
    }
    return 0;
}
