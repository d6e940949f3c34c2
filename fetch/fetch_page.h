// FetchPage: one blocking HTTP request made on the window thread. The transaction runs on
// a worker thread while the calling thread keeps dispatching its messages.
#pragma once

#include <optional>

#include "fetch/nls_api.h"
#include "fetch/thread_api.h"
#include "text/text.h"

namespace quorvane {

struct FetchOptions {
    int method = 0;                     // 1: POST, anything else: GET
    Text proxy{}, headers{};            // (every member initialised, so that designated
    Bytes postData{};                   //  initialisers need name only what they set)
    Text cookies{};
    std::optional<int> timeoutSeconds{};  // omitted: 60 s
    Text* responseHeaders = nullptr;    // written only when given
    int decodeMode = 0;                 // 1: UTF-8 to GBK, 2: BIG5 to simplified GBK
    Text* responseCookies = nullptr;    // written only when given
    std::optional<bool> allowRedirect{};  // omitted: true
};

// The message FetchPage returns when its time limit runs out (GBK, 44 bytes).
extern const char kFetchTimeoutMessage[];

// Performs the request and returns the response body, the timeout message or "".
// `url` receives "http://" in front when it begins with neither "http://" nor "https://".
// A blank url, or one holding CR or LF, gives "" at once with nothing started.
// Each wait is given the time left until the deadline; a worker still running then is
// abandoned (it keeps its own reference to the stream and ends by itself) and the timeout
// message is returned at once with no output written. When a WM_QUIT is pending the call
// abandons its worker the same way and returns "", so that the application's message loop
// receives the WM_QUIT promptly.
Bytes FetchPage(Text& url, const FetchOptions& options = {});

// Takes every message off the calling thread's queue and dispatches it, stopping before a
// WM_QUIT, which stays in the queue.
void DispatchPendingMessages();

// The application's own handling of a message before translation and dispatch (keyboard
// accelerators of an embedded browser, window-level keys). Returns true when the message
// was handled and must not be dispatched. Used by DispatchPendingMessages as well as by
// the application's message loop.
using MessagePreTranslator = bool (*)(WindowMessage* message);
void SetMessagePreTranslator(MessagePreTranslator translator);

// What FetchPage runs on. `worker` is started on a new thread with the request's stream;
// it receives one reference to the stream, which it must drop when it is done.
struct FetchPlatform {
    const ThreadApi& threads;
    ThreadStartRoutine worker;
    const NlsApi& nls;  // decode modes 1 and 2
};

// FetchPage over the given platform functions (FetchPage uses the system's and
// FetchThreadEntry).
Bytes FetchPageWith(const FetchPlatform& platform, Text& url, const FetchOptions& options = {});
// DispatchPendingMessages over the given functions.
void DispatchPendingMessages(const ThreadApi& threads);
// True when a WM_QUIT waits in the calling thread's queue (it stays there).
bool QuitMessagePending(const ThreadApi& threads);

}  // namespace quorvane
