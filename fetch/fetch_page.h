// FetchPage: one blocking HTTP request made on the window thread. The transaction runs on
// a worker thread while the calling thread keeps dispatching its messages.
#pragma once

#include <optional>

#include "fetch/thread_api.h"
#include "text/text.h"

namespace quorvane {

struct FetchOptions {
    int method = 0;                     // 1: POST, anything else: GET
    Text proxy, headers;
    Bytes postData;
    Text cookies;
    std::optional<int> timeoutSeconds;  // omitted: 60 s
    Text* responseHeaders = nullptr;    // written only when given
    int decodeMode = 0;                 // 1: UTF-8 to GBK, 2: BIG5 to simplified GBK
    Text* responseCookies = nullptr;    // written only when given
    std::optional<bool> allowRedirect;  // omitted: true
};

// The message FetchPage returns when its time limit runs out (GBK).
extern const char kFetchTimeoutMessage[];

// Performs the request and returns the response body, the timeout message or "".
// `url` receives "http://" in front when it begins with neither "http://" nor "https://".
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

}  // namespace quorvane
