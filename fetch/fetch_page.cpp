#include "fetch/fetch_page.h"

#include <cstdint>
#include <new>
#include <stdexcept>

#include "fetch/http_transaction.h"
#include "fetch/slot_stream.h"
#include "fetch/text_conversion.h"

namespace quorvane {

// "超时返回，你可以把参数中的超时值设置长一些。"
const char kFetchTimeoutMessage[] =
    "\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xAC\xC4\xE3\xBF\xC9\xD2\xD4\xB0\xD1\xB2\xCE\xCA\xFD\xD6\xD0"
    "\xB5\xC4\xB3\xAC\xCA\xB1\xD6\xB5\xC9\xE8\xD6\xC3\xB3\xA4\xD2\xBB\xD0\xA9\xA1\xA3";

namespace {

constexpr unsigned int kWmQuit = 0x0012;
constexpr unsigned int kPmNoRemove = 0;
constexpr unsigned int kPmRemove = 1;
constexpr Dword kWaitObject0 = 0;
constexpr Dword kWaitTimeout = 258;
// QS_KEY, QS_MOUSEMOVE, QS_MOUSEBUTTON, QS_POSTMESSAGE, QS_TIMER, QS_PAINT, QS_HOTKEY,
// QS_RAWINPUT: every kind of input except messages sent from other threads.
constexpr Dword kWakeMask = 0x4BF;
constexpr int kDefaultTimeoutMs = 60000;

MessagePreTranslator g_preTranslator = nullptr;

// Owns a thread handle and releases it when it goes; the thread itself runs on.
class ThreadHandle {
public:
    ThreadHandle(const ThreadApi& api, Handle handle) : api_(api), handle_(handle) {}
    ~ThreadHandle() {
        if (handle_) api_.CloseHandle(handle_);
    }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    Handle get() const { return handle_; }

private:
    const ThreadApi& api_;
    Handle handle_;
};

bool HoldsLineBreak(const Text& url) { return url.find_first_of("\r\n") != Text::npos; }

// The time limit in milliseconds: seconds × 1000 in double precision, truncated toward
// zero and held within the range of a signed 32-bit integer.
std::int32_t TimeLimitMs(const std::optional<int>& timeoutSeconds) {
    if (!timeoutSeconds) return kDefaultTimeoutMs;
    const double ms = static_cast<double>(*timeoutSeconds) * 1000.0;
    if (ms >= 2147483647.0) return INT32_MAX;
    if (ms <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(ms);
}

// Milliseconds since `start`, modulo 2^32, so that a wrap of the tick count between the
// two readings still gives the true difference.
std::uint32_t ElapsedMs(const ThreadApi& api, std::uint32_t start) {
    return static_cast<std::uint32_t>(static_cast<std::uint32_t>(api.GetTickCount()) - start);
}

bool DeadlinePassed(std::uint32_t elapsed, std::int32_t limit) {
    return static_cast<double>(elapsed) - static_cast<double>(limit) >= -0.0000001;
}

Dword TimeLeftMs(std::uint32_t elapsed, std::int32_t limit) {
    const std::int64_t left = static_cast<std::int64_t>(limit) - static_cast<std::int64_t>(elapsed);
    return left > 0 ? static_cast<Dword>(left) : 0;
}

enum class WaitOutcome { WorkerEnded, TimedOut, QuitPending };

// Waits for the worker (none when `thread` is null) while dispatching the thread's
// messages, until it ends, the deadline passes or a WM_QUIT is pending.
WaitOutcome WaitForWorker(const ThreadApi& api, Handle thread, std::int32_t limit, std::uint32_t start) {
    // With no worker, the wait serves only input; its result 0 then means input too.
    const Dword count = thread ? 1 : 0;
    const Handle* handles = thread ? &thread : nullptr;
    if (QuitMessagePending(api)) return WaitOutcome::QuitPending;
    for (;;) {
        const Dword left = TimeLeftMs(ElapsedMs(api, start), limit);
        const Dword result = api.MsgWaitForMultipleObjects(count, handles, 0, left, kWakeMask);
        // A worker that ends at or after the deadline counts as late.
        const bool timedOut = result == kWaitTimeout || DeadlinePassed(ElapsedMs(api, start), limit);
        DispatchPendingMessages(api);
        if (!timedOut && thread && result == kWaitObject0) return WaitOutcome::WorkerEnded;
        if (QuitMessagePending(api)) return WaitOutcome::QuitPending;
        if (timedOut) return WaitOutcome::TimedOut;
        // New input or a failed wait: wait again for what is left of the time.
    }
}

Bytes FetchPageOrThrow(const FetchPlatform& platform, Text& url, const FetchOptions& options) {
    const ThreadApi& api = platform.threads;
    if (TrimBlanks(url).empty() || HoldsLineBreak(url)) return {};

    const bool allowRedirect = options.allowRedirect.value_or(true);
    if (url.compare(0, 7, "http://") != 0 && url.compare(0, 8, "https://") != 0) url = "http://" + url;

    SlotStreamRef stream(SlotStream::Create());
    if (!stream) return {};
    {
        // Built slot by slot: a braced list would copy the body once more.
        FetchSlots request;
        request.reserve(kFetchSlotCount);
        request.push_back(url);
        request.push_back(options.method == 1 ? "POST" : "GET");
        request.push_back(options.proxy);
        request.push_back(options.headers);
        request.push_back(options.postData);
        request.push_back(options.cookies);
        request.push_back(BoolText(allowRedirect));
        if (!stream->Write(request)) return {};
    }

    // The worker co-owns the stream, so that a worker abandoned at the deadline still
    // writes into a live stream, which only the last owner frees.
    stream->AddRef();
    Dword threadId = 0;
    ThreadHandle thread(api, api.CreateThread(nullptr, 0, platform.worker, stream.get(), 0, &threadId));
    if (!thread.get()) stream->Close();  // the worker's reference, never taken up

    const std::uint32_t start = static_cast<std::uint32_t>(api.GetTickCount());
    switch (WaitForWorker(api, thread.get(), TimeLimitMs(options.timeoutSeconds), start)) {
    case WaitOutcome::QuitPending:
        return {};
    case WaitOutcome::TimedOut:
        return Bytes(kFetchTimeoutMessage, sizeof kFetchTimeoutMessage - 1);
    case WaitOutcome::WorkerEnded:
        break;
    }

    // The worker has ended: the stream is ours alone. A worker that wrote nothing leaves
    // the request there, which then reads back like results.
    FetchSlots results;
    stream->Rewind();
    if (!stream->Read(results)) return {};
    stream.Reset();
    if (results.size() != kFetchSlotCount) return results.empty() ? Bytes() : std::move(results[0]);

    if (options.responseHeaders) *options.responseHeaders = TextFromBytes(results[5]);
    if (options.responseCookies) *options.responseCookies = TextFromBytes(results[1]);
    switch (options.decodeMode) {
    case 1:
        return Utf8ToAnsi(platform.nls, TextFromBytes(results[0]));
    case 2:
        return Big5ToSimplified(platform.nls, TextFromBytes(results[0]));
    default:
        return std::move(results[0]);
    }
}

}  // namespace

void SetMessagePreTranslator(MessagePreTranslator translator) { g_preTranslator = translator; }

bool QuitMessagePending(const ThreadApi& threads) {
    WindowMessage message{};
    return threads.PeekMessageA(&message, nullptr, kWmQuit, kWmQuit, kPmNoRemove) != 0;
}

void DispatchPendingMessages(const ThreadApi& threads) {
    WindowMessage message{};
    while (threads.PeekMessageA(&message, nullptr, 0, 0, kPmNoRemove) && message.message != kWmQuit) {
        // Remove exactly the kind of message just seen, so that a WM_QUIT that arrived in
        // between stays in the queue (a WM_NULL, whose filter would take any message, is
        // removed unfiltered).
        const unsigned int kind = message.message;
        if (!threads.PeekMessageA(&message, nullptr, kind, kind, kPmRemove)) return;
        if (g_preTranslator && g_preTranslator(&message)) continue;
        threads.TranslateMessage(&message);
        threads.DispatchMessageA(&message);
    }
}

Bytes FetchPageWith(const FetchPlatform& platform, Text& url, const FetchOptions& options) {
    try {
        return FetchPageOrThrow(platform, url, options);
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }
}

#if defined(_WIN32)
Bytes FetchPage(Text& url, const FetchOptions& options) {
    return FetchPageWith({SystemThreadApi(), &FetchThreadEntry, SystemNls()}, url, options);
}

void DispatchPendingMessages() { DispatchPendingMessages(SystemThreadApi()); }
#endif

}  // namespace quorvane
