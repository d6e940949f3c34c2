// Re-encoding of response text: UTF-8 to GBK, and BIG5 to GBK in simplified characters.
// Each operation has a form that takes the national-language table (for tests) and one
// that uses the system's (Windows only).
#pragma once

#include "fetch/nls_api.h"
#include "text/text.h"

namespace quorvane {

Text Utf8ToAnsi(const NlsApi& nls, const Text& text);
Text Big5ToSimplified(const NlsApi& nls, const Text& text);
Bytes AnsiToWide(const NlsApi& nls, const Text& text, unsigned codePage = 65001);
Text WideToAnsi(const NlsApi& nls, const Bytes& wide, unsigned codePage = 0);
Text Big5ToGbk(const NlsApi& nls, const Text& text);
Text ToSimplified(const NlsApi& nls, const Text& text);

Text Utf8ToAnsi(const Text& text);
Text Big5ToSimplified(const Text& text);
Bytes AnsiToWide(const Text& text, unsigned codePage = 65001);
Text WideToAnsi(const Bytes& wide, unsigned codePage = 0);
Text Big5ToGbk(const Text& text);
Text ToSimplified(const Text& text);

// n zero bytes / n spaces; empty when n is below 1.
Bytes ZeroBytes(int n);
Text SpaceText(int n);

}  // namespace quorvane
