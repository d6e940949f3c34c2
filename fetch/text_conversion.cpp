#include "fetch/text_conversion.h"

#include <climits>
#include <new>
#include <vector>

namespace quorvane {
namespace {

constexpr unsigned kAnsiCodePage = 0;     // CP_ACP
constexpr unsigned kUtf8CodePage = 65001;  // CP_UTF8
constexpr unsigned kGbkCodePage = 936;
constexpr unsigned kBig5CodePage = 950;
constexpr Dword kChinesePrcLocale = 2052;                // 0x0804
constexpr Dword kMapSimplifiedChinese = 0x02000000;      // LCMAP_SIMPLIFIED_CHINESE

using WideBuffer = std::vector<WideUnit>;

// The units of a wide text (two little-endian bytes each), always followed by a zero unit
// so that a length of -1 never reads past the end. An odd last byte is dropped.
WideBuffer UnitsOf(const Bytes& wide) {
    const std::size_t count = wide.size() / 2;
    WideBuffer units(count + 1, WideUnit(0));
    for (std::size_t i = 0; i < count; ++i) {
        const auto low = static_cast<unsigned char>(wide[2 * i]);
        const auto high = static_cast<unsigned char>(wide[2 * i + 1]);
        units[i] = static_cast<WideUnit>(low | (high << 8));
    }
    return units;
}

// The first `count` units of `units` as a wide text, two little-endian bytes each.
Bytes BytesOf(const WideBuffer& units, std::size_t count) {
    Bytes wide(2 * count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        const auto unit = static_cast<unsigned>(units[i]);
        wide[2 * i] = static_cast<char>(unit & 0xFF);
        wide[2 * i + 1] = static_cast<char>((unit >> 8) & 0xFF);
    }
    return wide;
}

}  // namespace

Bytes ZeroBytes(int n) {
    if (n < 1) return {};
    try {
        return Bytes(static_cast<std::size_t>(n), '\0');
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text SpaceText(int n) {
    if (n < 1) return {};
    try {
        return Text(static_cast<std::size_t>(n), ' ');
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Bytes AnsiToWide(const NlsApi& nls, const Text& text, unsigned codePage) {
    if (text.empty()) return {};
    // Units needed, the terminating zero included.
    const int n = nls.MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return {};
    try {
        WideBuffer units(static_cast<std::size_t>(n), WideUnit(0));
        nls.MultiByteToWideChar(codePage, 0, text.c_str(), -1, units.data(), n);
        return BytesOf(units, units.size());
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text WideToAnsi(const NlsApi& nls, const Bytes& wide, unsigned codePage) {
    if (wide.empty()) return {};
    try {
        const WideBuffer units = UnitsOf(wide);
        // The size is measured in the system's ANSI code page whatever the target code page
        // is, and doubled to leave room for code pages that need more bytes.
        const int m = nls.WideCharToMultiByte(kAnsiCodePage, 0, units.data(), -1, nullptr, 0, nullptr,
                                              nullptr);
        if (m <= 0 || m > INT_MAX / 2) return {};
        const int size = 2 * m;
        Text buffer = SpaceText(size);
        if (buffer.empty()) return {};
        nls.WideCharToMultiByte(codePage, 0, units.data(), -1, buffer.data(), size, nullptr, nullptr);
        return TextFromBytes(buffer);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text Utf8ToAnsi(const NlsApi& nls, const Text& text) {
    return WideToAnsi(nls, AnsiToWide(nls, text, kUtf8CodePage), kGbkCodePage);
}

Text Big5ToGbk(const NlsApi& nls, const Text& text) {
    if (text.empty()) return {};
    const int n = nls.MultiByteToWideChar(kBig5CodePage, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return {};
    try {
        WideBuffer units(static_cast<std::size_t>(n), WideUnit(0));
        nls.MultiByteToWideChar(kBig5CodePage, 0, text.c_str(), -1, units.data(), n);
        const int u = n;  // the terminating zero unit is converted too
        // No default character of our own: a character GBK lacks becomes the code page's
        // default character and the text goes on after it.
        const int m = nls.WideCharToMultiByte(kGbkCodePage, 0, units.data(), u, nullptr, 0, nullptr, nullptr);
        if (m <= 0) return {};
        Text out = SpaceText(m);
        if (out.empty()) return {};
        nls.WideCharToMultiByte(kGbkCodePage, 0, units.data(), u, out.data(), m, nullptr, nullptr);
        return TextFromBytes(out);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text ToSimplified(const NlsApi& nls, const Text& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int a = static_cast<int>(text.size());
    // With an explicit length nothing terminates the output; what is not written stays a space.
    try {
        Text out = SpaceText(a);
        if (out.empty()) return {};
        nls.LCMapStringA(kChinesePrcLocale, kMapSimplifiedChinese, text.data(), a, out.data(), a);
        return TextFromBytes(out);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text Big5ToSimplified(const NlsApi& nls, const Text& text) { return ToSimplified(nls, Big5ToGbk(nls, text)); }

#if defined(_WIN32)
Text Utf8ToAnsi(const Text& text) { return Utf8ToAnsi(SystemNls(), text); }
Text Big5ToSimplified(const Text& text) { return Big5ToSimplified(SystemNls(), text); }
Bytes AnsiToWide(const Text& text, unsigned codePage) { return AnsiToWide(SystemNls(), text, codePage); }
Text WideToAnsi(const Bytes& wide, unsigned codePage) { return WideToAnsi(SystemNls(), wide, codePage); }
Text Big5ToGbk(const Text& text) { return Big5ToGbk(SystemNls(), text); }
Text ToSimplified(const Text& text) { return ToSimplified(SystemNls(), text); }
#endif

}  // namespace quorvane
