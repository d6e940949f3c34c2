#include "fetch/fetch_page.h"

namespace quorvane {

// Placeholder until the call is written.
const char kFetchTimeoutMessage[] =
    "\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xAC\xC4\xE3\xBF\xC9\xD2\xD4\xB0\xD1\xB2\xCE\xCA\xFD\xD6\xD0"
    "\xB5\xC4\xB3\xAC\xCA\xB1\xD6\xB5\xC9\xE8\xD6\xC3\xB3\xA4\xD2\xBB\xD0\xA9\xA1\xA3";

namespace {
MessagePreTranslator g_preTranslator = nullptr;
}

void SetMessagePreTranslator(MessagePreTranslator translator) { g_preTranslator = translator; }

#if defined(_WIN32)
Bytes FetchPage(Text&, const FetchOptions&) { return {}; }
void DispatchPendingMessages() {}
#endif

}  // namespace quorvane
