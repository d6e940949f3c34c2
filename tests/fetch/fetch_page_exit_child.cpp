// Child program of the fetch wait tests: starts a request that cannot finish in time,
// gets the timeout message, signals the named event given as its first argument and
// returns from main while the worker is still blocked. With a url as second argument the
// request goes through FetchPage to that (stalled) server; without, through a stand-in
// worker that blocks. Exit code 0 on the expected path, 2 when the call gave another
// result, 3 without arguments.
#include <windows.h>

#include "fetch/fetch_page.h"
#include "fetch_page_wait_worker.h"

int main(int argc, char** argv) {
    using namespace quorvane;
    if (argc < 2) return 3;
    Bytes result;
    if (argc >= 3) {
        Text url = argv[2];
        result = FetchPage(url, {.timeoutSeconds = 1});
    } else {
        Text url = "http://block/never";
        ResetEvent(testing::ReleaseEvent());
        result = FetchPageWith({SystemThreadApi(), &testing::WaitWorker, SystemNls()}, url, {.timeoutSeconds = 1});
    }
    if (HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1])) {
        SetEvent(done);
        CloseHandle(done);
    }
    return result == Bytes(kFetchTimeoutMessage) ? 0 : 2;
}
