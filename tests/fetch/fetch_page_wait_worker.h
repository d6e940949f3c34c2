// A stand-in for the fetch worker in the Windows tests of FetchPage: it reads the request,
// then sleeps or blocks as its url says and writes a fixed result. The url is
// "http://sleep/<ms>/<body>" or "http://block/<body>"; a blocked worker runs on when
// ReleaseBlockedWorkers is called (or after 10 s). Every worker, late ones included,
// counts itself in WorkersEnded after dropping its reference to the stream.
#pragma once

#include <windows.h>

#include <atomic>

#include "fetch/slot_stream.h"
#include "text/text.h"

namespace quorvane::testing {

inline HANDLE ReleaseEvent() {
    static HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}
inline std::atomic<int>& WorkersEnded() {
    static std::atomic<int> count{0};
    return count;
}
inline void ReleaseBlockedWorkers() { SetEvent(ReleaseEvent()); }

inline DWORD WINAPI WaitWorker(void* parameter) {
    {
        SlotStreamRef stream(static_cast<SlotStream*>(parameter));
        FetchSlots request;
        stream->Rewind();
        if (stream->Read(request) && !request.empty()) {
            Text url = TextFromBytes(request[0]), body;
            const Text sleep = "http://sleep/", block = "http://block/";
            if (url.compare(0, sleep.size(), sleep) == 0) {
                const std::size_t slash = url.find('/', sleep.size());
                Sleep(static_cast<DWORD>(TextToInt(url.substr(sleep.size()))));
                body = slash == Text::npos ? Text() : url.substr(slash + 1);
            } else if (url.compare(0, block.size(), block) == 0) {
                WaitForSingleObject(ReleaseEvent(), 10000);
                body = url.substr(block.size());
            }
            stream->Rewind();
            stream->Write(FetchSlots{body, "late=" + body, "", "", "", "X-Body: " + body, ""});
        }
    }
    ++WorkersEnded();
    return 0;
}

}  // namespace quorvane::testing
