// One HTTP or HTTPS transaction over WinInet, run on the fetch worker thread, and the URL
// and header routines it derives its parameters from.
#pragma once

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

// Reads the request slots from `stream`, performs the transaction through `api` and writes
// the seven result slots back over the request.
void RunTransaction(const WinInetApi& api, SlotStream& stream);

// RunTransaction with the system's WinInet. Windows only.
void FetchWorker(SlotStream* stream);

// Thread start routine: runs FetchWorker on the stream it is given, then drops the
// reference to the stream that was taken for the thread.
Dword QUORVANE_WINAPI FetchThreadEntry(void* stream);

}  // namespace quorvane
