#include "fetch/http_transaction.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "fetch/cookie_harvest.h"

namespace quorvane {
namespace {

constexpr char kDefaultUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";
constexpr char kDefaultAccept[] =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr char kDefaultAcceptLanguage[] = "Accept-Language: zh-cn\r\n";
constexpr char kDefaultContentType[] = "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr char kRefererMarker[] = "RefererNo";
constexpr char kRedirectAllowed[] = "\xD5\xE6";  // "真"

constexpr Dword kOpenTypeDirect = 1;
constexpr Dword kOpenTypeProxy = 3;
constexpr Dword kServiceHttp = 3;
constexpr Dword kFlagReload = 0x80000000;
constexpr Dword kFlagNeedFile = 0x10;
constexpr Dword kFlagNoCookies = 0x80000;
constexpr Dword kFlagNoAutoRedirect = 0x200000;
constexpr Dword kFlagIgnoreRedirectToHttps = 0x4000;
constexpr Dword kFlagSecure = 0x800000;
constexpr Dword kQueryRawHeadersCrlf = 22;
constexpr Dword kErrorInsufficientBuffer = 122;

// Slot indexes (the slots are numbered 1 to 7; the array counts from 0).
enum Slot : std::size_t { kUrl, kVerb, kProxy, kHeaders, kPostData, kCookies, kRedirect };

// Owns one WinInet handle and closes it when it goes.
class InternetHandle {
public:
    InternetHandle(const WinInetApi& api, Handle handle) : api_(api), handle_(handle) {}
    ~InternetHandle() {
        if (handle_) api_.InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    const WinInetApi& api_;
    Handle handle_;
};

struct Request {
    Text url, verb, headers;
    Bytes proxy, postData;
    Text cookies;
    bool redirectAllowed = false;
    bool secure = false;
    Text host, path, userAgent;
};

struct Response {
    Bytes body;
    Text rawHeaders;
};

Request RequestFromSlots(const FetchSlots& slots) {
    Request request;
    request.url = TextFromBytes(slots[kUrl]);
    request.verb = TextFromBytes(slots[kVerb]);
    request.headers = TextFromBytes(slots[kHeaders]);
    request.postData = slots[kPostData];
    request.cookies = TextFromBytes(slots[kCookies]);
    request.redirectAllowed = TextFromBytes(slots[kRedirect]) == kRedirectAllowed;
    request.secure = IsSecureUrl(request.url);
    request.host = UrlHost(request.url);
    request.path = UrlPath(request.url);
    request.proxy = slots[kProxy];
    // A caller's User-Agent line also chooses the agent that InternetOpenA announces.
    request.userAgent = ContainsNoCase(request.headers, "User-Agent:")
                            ? TrimBlanks(HeaderValue(request.headers, "User-Agent:", "\r\n"))
                            : Text(kDefaultUserAgent);
    return request;
}

Dword RequestFlags(const Request& request) {
    const Dword noRedirect = request.redirectAllowed ? 0 : kFlagNoAutoRedirect;
    if (request.secure) return kFlagSecure | noRedirect;
    Dword flags = kFlagReload | kFlagNeedFile | kFlagIgnoreRedirectToHttps | noRedirect;
    if (!TrimBlanks(request.cookies).empty()) flags |= kFlagNoCookies;
    return flags;
}

// The caller's header lines completed with the default lines, each added only when the
// caller did not give one of its kind.
Text CompleteHeaders(const Request& request) {
    Text headers = request.headers;
    if (!ContainsNoCase(headers, "Accept")) headers += kDefaultAccept;
    if (ContainsNoCase(headers, kRefererMarker)) {
        const int marker = FindText(headers, kRefererMarker);
        if (marker != -1) headers = DeleteAndInsert(headers, marker, sizeof kRefererMarker - 1);
    } else if (!ContainsNoCase(headers, "Referer")) {
        headers += "Referer: " + request.url + "\r\n";
    }
    if (!ContainsNoCase(headers, "Accept-Language")) headers += kDefaultAcceptLanguage;
    return headers;
}

void SendRequest(const WinInetApi& api, Handle handle, const Request& request) {
    Text headers = CompleteHeaders(request);
    if (request.verb == "GET") {
        if (!request.cookies.empty()) headers += "Cookie: " + request.cookies + "\r\n";
        api.HttpSendRequestA(handle, headers.c_str(), static_cast<Dword>(headers.size()), nullptr, 0);
    } else if (request.verb == "POST") {
        Bytes body = request.postData;
        if (!body.empty()) {
            if (!ContainsNoCase(headers, "Content-Type")) headers += kDefaultContentType;
            if (!ContainsNoCase(headers, "Content-Length")) {
                headers += "Content-Length: " + IntText(static_cast<long long>(body.size())) + "\r\n";
            }
            if (!request.cookies.empty()) headers += "Cookie: " + request.cookies + "\r\n\r\n";
        }
        api.HttpSendRequestA(handle, headers.c_str(), static_cast<Dword>(headers.size()),
                             body.empty() ? nullptr : body.data(), static_cast<Dword>(body.size()));
    }
    // Any other verb is not sent: the request stays unanswered.
}

Bytes ReadBody(const WinInetApi& api, Handle handle) {
    Bytes body;
    const std::unique_ptr<char[]> piece(new char[kBodyReadPieceSize]);
    for (;;) {
        Dword count = 0;
        api.InternetReadFile(handle, piece.get(), static_cast<Dword>(kBodyReadPieceSize), &count);
        if (count == 0) break;
        body.append(piece.get(), std::min<std::size_t>(count, kBodyReadPieceSize));
    }
    return body;
}

// The raw response headers, "" when no response arrived. A buffer that is too small is
// replaced by one of the size the query reports, so no header line is cut off.
Text QueryRawHeaders(const WinInetApi& api, Handle handle) {
    Dword size = kHeaderQueryFirstSize;
    for (int attempt = 0; attempt < 4; ++attempt) {
        Bytes buffer(std::size_t{size} + 1, '\0');  // a spare zero after what WinInet may fill
        Dword length = size;
        if (api.HttpQueryInfoA(handle, kQueryRawHeadersCrlf, buffer.data(), &length, nullptr)) {
            Text headers = TextFromBytes(buffer.substr(0, std::min(length, size)));
            // An unanswered request yields a bare line end: no status line, no headers.
            if (headers.find_first_not_of("\r\n") == Text::npos) return {};
            return headers;
        }
        if (api.GetLastError() != kErrorInsufficientBuffer) return {};
        size = std::max(length, size + 1);
    }
    return {};
}

// Opens the handles, sends the request and collects the response. Nothing when a handle
// cannot be opened. The handles are closed on every way out, request first, internet last.
std::optional<Response> Exchange(const WinInetApi& api, const Request& request) {
    const bool viaProxy = !request.proxy.empty();
    const Text proxy = TextFromBytes(request.proxy);
    // Both schemes go to the proxy: with an "http=" entry alone HTTPS would bypass it.
    const Text proxyList = viaProxy ? "http=" + proxy + " https=" + proxy : Text();
    InternetHandle internet(api, api.InternetOpenA(request.userAgent.c_str(),
                                                   viaProxy ? kOpenTypeProxy : kOpenTypeDirect,
                                                   proxyList.c_str(), "", 0));
    if (!internet) return std::nullopt;

    const int port = RequestPort(request.url);
    InternetHandle connection(api, api.InternetConnectA(internet.get(), request.host.c_str(),
                                                        static_cast<unsigned short>(port), "", "",
                                                        kServiceHttp, 0, 0));
    if (!connection) return std::nullopt;

    InternetHandle handle(api, api.HttpOpenRequestA(connection.get(), request.verb.c_str(),
                                                    request.path.c_str(), "HTTP/1.1", "", nullptr,
                                                    RequestFlags(request), 0));
    if (!handle) return std::nullopt;

    SendRequest(api, handle.get(), request);
    Response response;
    response.body = ReadBody(api, handle.get());
    response.rawHeaders = QueryRawHeaders(api, handle.get());
    return response;
}

}  // namespace

Text UrlHost(const Text& url) {
    Text host = ReplaceText(ReplaceText(url, "https://"), "http://");
    const int slash = FindText(host, "/");
    if (slash != -1) host = LeftBytes(host, slash - 1);
    const int colon = FindText(host, ":");
    if (colon != -1) host = LeftBytes(host, colon - 1);
    return LowerAscii(host);
}

Text UrlPath(const Text& url) {
    const int host = FindTextNoCase(url, UrlHost(url));
    const int slash = FindText(url, "/", host == -1 ? 1 : host);
    return slash == -1 ? Text("/") : url.substr(static_cast<std::size_t>(slash) - 1);
}

int UrlPort(const Text& url) {
    Text authority;
    if (StartsWithNoCase(url, "http://")) {
        const int slash = FindText(url, "/", 8);
        authority = slash != -1 ? MidBytes(url, 8, slash - 8) : url.substr(7);
    } else {
        const int slash = FindText(url, "/");
        authority = slash != -1 ? LeftBytes(url, slash - 1) : url;
    }
    const int colon = FindText(authority, ":");
    return TextToInt(colon != -1 ? authority.substr(static_cast<std::size_t>(colon)) : Text("80"));
}

Text HeaderValue(const Text& text, const Text& key, const Text& terminator) {
    const int at = FindText(text, key);
    if (at == -1) return {};
    const Text rest = text.substr(static_cast<std::size_t>(at) - 1 + key.size());
    const int end = FindText(rest, terminator);
    return end == -1 ? Text() : LeftBytes(rest, end - 1);
}

bool IsSecureUrl(const Text& url) { return StartsWithNoCase(url, "https://"); }

int RequestPort(const Text& url) {
    if (!IsSecureUrl(url)) return UrlPort(url);
    const Text rest = url.substr(8);
    const int slash = FindText(rest, "/");
    const Text authority = slash != -1 ? LeftBytes(rest, slash - 1) : rest;
    const int colon = FindText(authority, ":");
    return colon != -1 ? TextToInt(authority.substr(static_cast<std::size_t>(colon))) : 443;
}

void RunTransaction(const WinInetApi& api, SlotStream& stream) {
    FetchSlots slots;
    stream.Rewind();
    if (!stream.Read(slots)) return;
    try {
        slots.resize(kFetchSlotCount);
        const Request request = RequestFromSlots(slots);
        // A line break in the URL would end the Referer line early and start lines of the
        // caller's choosing: such a URL is not requested at all.
        std::optional<Response> response;
        if (request.url.find_first_of("\r\n") == Text::npos) response = Exchange(api, request);
        if (response) {
            slots[kCookies] = std::move(response->rawHeaders);
            slots[kVerb] = HarvestCookies(api, slots[kCookies], request.host);
            slots[kUrl] = std::move(response->body);
        } else {
            // No request was made: nothing of the request may pass for a result.
            for (Slot slot : {kUrl, kVerb, kCookies, kRedirect}) slots[slot].clear();
        }
    } catch (const std::bad_alloc&) {
        slots.clear();
        try {
            slots.resize(kFetchSlotCount);
        } catch (const std::bad_alloc&) {
        }
    }
    stream.Rewind();
    stream.Write(slots);
}

#if defined(_WIN32)
void FetchWorker(SlotStream* stream) {
    if (stream) RunTransaction(SystemWinInet(), *stream);
}

Dword QUORVANE_WINAPI FetchThreadEntry(void* parameter) {
    SlotStreamRef stream(static_cast<SlotStream*>(parameter));
    FetchWorker(stream.get());
    return 0;
}
#endif

}  // namespace quorvane
