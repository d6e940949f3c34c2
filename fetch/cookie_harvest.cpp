#include "fetch/cookie_harvest.h"

#include <cstddef>

namespace quorvane {
namespace {

constexpr char kSetCookieKey[] = "Set-Cookie: ";
constexpr std::size_t kSetCookieKeyLength = sizeof kSetCookieKey - 1;

// Stores the cookie of one header line and appends its entry to the cookie text.
void HarvestLine(const WinInetApi& api, Text line, const Text& storeUrl, Text& cookieText) {
    if (FindTextNoCase(line, kSetCookieKey) == -1) return;
    // The first 12 bytes go, whether or not the key stands at the start of the line.
    line.erase(0, kSetCookieKeyLength);
    cookieText += TextBefore(line, ";");
    cookieText += ';';
    const int equals = FindText(line, "=");
    const Text name = equals == -1 ? Text() : LeftBytes(line, equals - 1);
    const Text data = equals == -1 ? line : line.substr(static_cast<std::size_t>(equals));
    api.InternetSetCookieA(storeUrl.c_str(), name.c_str(), data.c_str());
}

}  // namespace

Text TextBefore(const Text& text, const Text& separator, int start, bool caseInsensitive) {
    if (start < 1) start = 1;
    const int at = caseInsensitive ? FindTextNoCase(text, separator, start) : FindText(text, separator, start);
    return at == -1 ? Text() : LeftBytes(text, at - 1);
}

Text HarvestCookies(const WinInetApi& api, const Text& rawHeaders, const Text& host) {
    Text cookieText;
    if (FindTextNoCase(rawHeaders, kSetCookieKey) == -1) return cookieText;
    const Text storeUrl = "http://" + host;
    // Lines end at LF; an LF that is the second byte of a two-byte character does not end
    // one. One CR before the line end is dropped.
    std::size_t lineStart = 0;
    std::size_t i = 0;
    const std::size_t size = rawHeaders.size();
    while (i < size) {
        const unsigned char byte = static_cast<unsigned char>(rawHeaders[i]);
        if (byte >= 0x80) {
            i += (i + 1 < size) ? 2 : 1;
            continue;
        }
        if (byte == '\n') {
            std::size_t lineEnd = i;
            if (lineEnd > lineStart && rawHeaders[lineEnd - 1] == '\r') --lineEnd;
            HarvestLine(api, rawHeaders.substr(lineStart, lineEnd - lineStart), storeUrl, cookieText);
            lineStart = i + 1;
        }
        ++i;
    }
    if (lineStart < size) {
        std::size_t lineEnd = size;
        if (rawHeaders[lineEnd - 1] == '\r') --lineEnd;
        HarvestLine(api, rawHeaders.substr(lineStart, lineEnd - lineStart), storeUrl, cookieText);
    }
    return cookieText;
}

#if defined(_WIN32)
Text HarvestCookies(const Text& rawHeaders, const Text& host) {
    return HarvestCookies(SystemWinInet(), rawHeaders, host);
}
#endif

}  // namespace quorvane
