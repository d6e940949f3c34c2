#include "text/text.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace quorvane {
namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x80; }

// Length in bytes of the character starting at index i.
size_t CharLength(const Text& text, size_t i) {
    return (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
}

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `what` occurs at index i, a character start of `text`. Without case, only
// bytes that start a character of `text` are folded; second bytes compare exactly.
bool MatchesAt(const Text& text, size_t i, const Text& what, bool noCase) {
    if (text.size() - i < what.size()) return false;
    bool secondByte = false;
    for (size_t k = 0; k < what.size(); ++k) {
        char a = text[i + k], b = what[k];
        const bool fold = noCase && !secondByte;
        if (fold ? LowerChar(a) != LowerChar(b) : a != b) return false;
        secondByte = !secondByte && IsLeadByte(static_cast<unsigned char>(a));
    }
    return true;
}

int Find(const Text& text, const Text& what, int start, bool noCase) {
    if (start < 1) start = 1;
    if (text.empty() || static_cast<size_t>(start) > text.size()) return -1;
    if (what.empty()) return 1;
    const size_t from = static_cast<size_t>(start) - 1;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        if (i >= from && MatchesAt(text, i, what, noCase)) return static_cast<int>(i + 1);
    }
    return -1;
}

bool IsBlankAt(const Text& text, size_t i, size_t* length) {
    if (text[i] == ' ') {
        *length = 1;
        return true;
    }
    if (i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
        static_cast<unsigned char>(text[i + 1]) == 0xA1) {
        *length = 2;
        return true;
    }
    return false;
}

}  // namespace

Text TextFromBytes(const Bytes& bytes) { return Text(bytes.c_str()); }

int FindText(const Text& text, const Text& what, int start) { return Find(text, what, start, false); }

int FindTextNoCase(const Text& text, const Text& what, int start) {
    return Find(text, what, start, true);
}

bool ContainsNoCase(const Text& text, const Text& what) { return FindTextNoCase(text, what) != -1; }

Text LowerAscii(const Text& text) {
    Text out = text;
    for (size_t i = 0; i < out.size(); i += CharLength(out, i)) out[i] = LowerChar(out[i]);
    return out;
}

Text TrimBlanks(const Text& text) {
    size_t begin = 0;
    size_t end = 0;  // end of the last character that is not a blank
    bool leading = true;
    for (size_t i = 0, length = 0; i < text.size(); i += length) {
        if (IsBlankAt(text, i, &length)) {
            if (leading) begin = i + length;
            continue;
        }
        length = CharLength(text, i);
        leading = false;
        end = i + length;
    }
    return leading ? Text() : text.substr(begin, end - begin);
}

bool StartsWithNoCase(const Text& text, const Text& prefix) {
    return text.size() >= prefix.size() && MatchesAt(text, 0, prefix, true);
}

Text LeftBytes(const Text& text, int n) {
    if (n <= 0) return {};
    return text.substr(0, static_cast<size_t>(n));
}

Text RightBytes(const Text& text, int n) {
    if (n <= 0) return {};
    const size_t count = static_cast<size_t>(n);
    return count >= text.size() ? text : text.substr(text.size() - count);
}

Text MidBytes(const Text& text, int position, int n) {
    if (position < 1 || static_cast<size_t>(position) > text.size() || n <= 0) return {};
    return text.substr(static_cast<size_t>(position) - 1, static_cast<size_t>(n));
}

Text DeleteAndInsert(const Text& text, int position, int n, const Text& insert) {
    long long p = position;
    if (p < 1) p = 1;
    if (p > static_cast<long long>(text.size()) + 1) p = static_cast<long long>(text.size()) + 1;
    const size_t at = static_cast<size_t>(p - 1);
    const size_t count = n < 0 ? 0 : static_cast<size_t>(n);
    Text out = text.substr(0, at);
    out += insert;
    if (count < text.size() - at) out += text.substr(at + count);
    return out;
}

Text ReplaceText(const Text& text, const Text& what, const Text& with, int start,
                 std::optional<int> count) {
    if (what.empty() || text.empty()) return text;
    int left = count.value_or(-1);
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    Text out;
    size_t copied = 0;  // bytes of `text` already handled
    // One pass over the character starts; a match may begin only after the previous one.
    for (size_t i = 0; i < text.size() && left != 0; i += CharLength(text, i)) {
        if (i < from || i < copied || !MatchesAt(text, i, what, false)) continue;
        out.append(text, copied, i - copied);
        out += with;
        copied = i + what.size();
        if (left > 0) --left;
    }
    out.append(text, copied, Text::npos);
    return out;
}

Text BoolText(bool value) { return value ? "\xD5\xE6" : "\xBC\xD9"; }

Text IntText(long long value) { return std::to_string(value); }

double TextToNumber(const Text& text) {
    // Fold the full-width forms A3 A1..A3 FE to ASCII 0x21..0x7E, at character starts;
    // the full-width space A1 A1 becomes a space, so that it is skipped as white space.
    Text folded;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (CharLength(text, i) == 2) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if (c == 0xA3 && second >= 0xA1 && second <= 0xFE) {
                folded += static_cast<char>(second - 0x80);
            } else if (c == 0xA1 && second == 0xA1) {
                folded += ' ';
            } else {
                folded.append(text, i, 2);
            }
        } else {
            folded += static_cast<char>(c);
        }
    }
    size_t i = 0;
    while (i < folded.size() && (folded[i] == ' ' || (folded[i] >= '\t' && folded[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';
    const auto isDigit = [&](size_t k) { return k < folded.size() && folded[k] >= '0' && folded[k] <= '9'; };
    const size_t begin = i;
    size_t digits = 0;
    while (isDigit(i)) ++i, ++digits;
    if (i < folded.size() && folded[i] == '.') {
        size_t k = i + 1;
        while (isDigit(k)) ++k, ++digits;
        if (digits > 0) i = k;
    }
    if (digits == 0) return 0;
    if (i < folded.size() && (folded[i] == 'e' || folded[i] == 'E')) {
        size_t k = i + 1;
        if (k < folded.size() && (folded[k] == '+' || folded[k] == '-')) ++k;
        if (isDigit(k)) {
            while (isDigit(k)) ++k;
            i = k;
        }
    }
    Text number = folded.substr(begin, i - begin);
    if (number.front() == '.') number.insert(number.begin(), '0');
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value unset on overflow or underflow; tell them apart
        // by the exponent's sign.
        const size_t e = number.find_first_of("eE");
        value = (e != Text::npos && number.find('-', e) != Text::npos) ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

int TextToInt(const Text& text) {
    const double value = std::trunc(TextToNumber(text));
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace quorvane
