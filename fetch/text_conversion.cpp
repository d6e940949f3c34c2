#include "fetch/text_conversion.h"

namespace quorvane {

// Placeholder until the conversions are written.
Text Utf8ToAnsi(const NlsApi&, const Text& text) { return text; }
Text Big5ToSimplified(const NlsApi&, const Text& text) { return text; }
Bytes AnsiToWide(const NlsApi&, const Text&, unsigned) { return {}; }
Text WideToAnsi(const NlsApi&, const Bytes&, unsigned) { return {}; }
Text Big5ToGbk(const NlsApi&, const Text& text) { return text; }
Text ToSimplified(const NlsApi&, const Text& text) { return text; }
Bytes ZeroBytes(int n) { return n < 1 ? Bytes() : Bytes(static_cast<size_t>(n), '\0'); }
Text SpaceText(int n) { return n < 1 ? Text() : Text(static_cast<size_t>(n), ' '); }

#if defined(_WIN32)
Text Utf8ToAnsi(const Text& text) { return Utf8ToAnsi(SystemNls(), text); }
Text Big5ToSimplified(const Text& text) { return Big5ToSimplified(SystemNls(), text); }
Bytes AnsiToWide(const Text& text, unsigned codePage) { return AnsiToWide(SystemNls(), text, codePage); }
Text WideToAnsi(const Bytes& wide, unsigned codePage) { return WideToAnsi(SystemNls(), wide, codePage); }
Text Big5ToGbk(const Text& text) { return Big5ToGbk(SystemNls(), text); }
Text ToSimplified(const Text& text) { return ToSimplified(SystemNls(), text); }
#endif

}  // namespace quorvane
