// One HTTP or HTTPS transaction over WinInet, run on the fetch worker thread, and the URL
// and header routines it derives its parameters from.
#pragma once

#include <cstddef>

#include "fetch/platform_types.h"
#include "fetch/slot_stream.h"
#include "fetch/wininet_api.h"
#include "text/text.h"

namespace quorvane {

// Host name of a URL, lower-cased, without scheme, port or path.
Text UrlHost(const Text& url);
// Object part of a URL: from the first "/" after the host to the end; "/" when none.
Text UrlPath(const Text& url);
// Port written in a URL; 80 when none is written.
int UrlPort(const Text& url);
// Text between the first `key` and the next `terminator` after it; "" when either is missing.
Text HeaderValue(const Text& text, const Text& key, const Text& terminator);

// True when the URL begins with "https://" (ASCII letters in any case).
bool IsSecureUrl(const Text& url);
// The port a request for `url` connects to: for a secure URL the port written after the
// host, 443 when none; otherwise UrlPort.
int RequestPort(const Text& url);

// Size of each body read: large pieces keep the per-call cost of WinInet small.
inline constexpr std::size_t kBodyReadPieceSize = 64 * 1024;
// First size offered to the raw header query; a larger one is asked for when needed.
inline constexpr Dword kHeaderQueryFirstSize = 2048;

// Reads the request slots from `stream`, performs the transaction through `api` and writes
// the seven result slots back over the request:
//   1 response body, 2 response cookie text, 6 raw response headers ("" when no response
//   came); 3, 4, 5 and 7 as they came in. When no request could be made (the internet
//   handle, the connection or the request could not be opened, or the URL holds CR or LF)
//   slots 1, 2, 6 and 7 come back empty. When the request slots cannot be read nothing is
//   written back.
void RunTransaction(const WinInetApi& api, SlotStream& stream);

// RunTransaction with the system's WinInet. Windows only.
void FetchWorker(SlotStream* stream);

// Thread start routine: runs FetchWorker on the stream it is given, then drops the
// reference to the stream that was taken for the thread.
Dword QUORVANE_WINAPI FetchThreadEntry(void* stream);

}  // namespace quorvane
