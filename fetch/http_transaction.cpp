#include "fetch/http_transaction.h"

namespace quorvane {

// Placeholder until the transaction is written.
Text UrlHost(const Text&) { return {}; }
Text UrlPath(const Text&) { return "/"; }
int UrlPort(const Text&) { return 80; }
Text HeaderValue(const Text&, const Text&, const Text&) { return {}; }
void RunTransaction(const WinInetApi&, SlotStream&) {}

#if defined(_WIN32)
void FetchWorker(SlotStream* stream) {
    if (stream) RunTransaction(SystemWinInet(), *stream);
}

Dword QUORVANE_WINAPI FetchThreadEntry(void* parameter) {
    SlotStreamRef stream(static_cast<SlotStream*>(parameter));
    FetchWorker(stream.get());
    return 0;
}
#endif

}  // namespace quorvane
