#include "fetch/cookie_harvest.h"

namespace quorvane {

// Placeholder until the harvest is written.
Text TextBefore(const Text&, const Text&, int, bool) { return {}; }
Text HarvestCookies(const WinInetApi&, const Text&, const Text&) { return {}; }

#if defined(_WIN32)
Text HarvestCookies(const Text& rawHeaders, const Text& host) {
    return HarvestCookies(SystemWinInet(), rawHeaders, host);
}
#endif

}  // namespace quorvane
