// Stores the cookies that a response set in the WinInet cookie store and builds the
// response cookie text ("name=value;" per Set-Cookie line).
#pragma once

#include "fetch/wininet_api.h"
#include "text/text.h"

namespace quorvane {

// Text from the start up to the first `separator` at or after `start`; "" when none.
Text TextBefore(const Text& text, const Text& separator, int start = 1, bool caseInsensitive = false);

// Walks the raw header lines, calls api.InternetSetCookieA("http://" + host, name, data)
// for each Set-Cookie line and returns the cookie text.
Text HarvestCookies(const WinInetApi& api, const Text& rawHeaders, const Text& host);
// The same with the system's WinInet. Windows only.
Text HarvestCookies(const Text& rawHeaders, const Text& host);

}  // namespace quorvane
