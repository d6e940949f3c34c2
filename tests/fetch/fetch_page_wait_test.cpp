// FetchPage's wait on the real thread and message functions: a window whose messages are
// dispatched during the wait, a stand-in worker that sleeps or blocks, deadlines, nested
// calls, WM_QUIT, and a program that ends while its worker is still blocked.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "fetch/fetch_page.h"
#include "fetch_page_wait_worker.h"
#include "tests/fetch/exit_child_run.h"

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
const Bytes kTimeout(kFetchTimeoutMessage, 44);
constexpr UINT kCount = WM_APP;      // counted
constexpr UINT kHandler = WM_APP + 1;  // runs the test's handler

std::atomic<int> g_counted{0};
std::function<void()> g_handler;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCount) {
        ++g_counted;
        return 0;
    }
    if (message == kHandler) {
        if (g_handler) g_handler();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

Bytes Fetch(Text url, FetchOptions options = {}) {
    return FetchPageWith({SystemThreadApi(), &testing::WaitWorker, SystemNls()}, url, options);
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<Ms>(Clock::now() - start).count();
}

class FetchPageWait : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "QuorvaneFetchWaitTest";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "QuorvaneFetchWaitTest", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ResetEvent(testing::ReleaseEvent());
        g_counted = 0;
        endedBefore = testing::WorkersEnded();
    }
    void TearDown() override {
        for (std::thread& poster : posters) poster.join();
        // Blocked workers run to their end before the next test.
        testing::ReleaseBlockedWorkers();
        for (int i = 0; i < 500 && testing::WorkersEnded() - endedBefore < started; ++i) Sleep(10);
        EXPECT_EQ(testing::WorkersEnded() - endedBefore, started);
        g_handler = nullptr;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        DestroyWindow(window);
    }
    // Posts `message` to the window at each of the given times after `start`.
    void PostAt(Clock::time_point start, std::vector<int> times, UINT message = kCount) {
        posters.emplace_back([this, start, times, message] {
            for (int at : times) {
                std::this_thread::sleep_until(start + Ms(at));
                PostMessageA(window, message, 0, 0);
            }
        });
    }

    HWND window = nullptr;
    std::vector<std::thread> posters;
    int started = 0;  // workers the test started
    int endedBefore = 0;
};

TEST_F(FetchPageWait, MessageJustBeforeTheDeadlineDoesNotExtendIt) {
    started = 1;
    const auto start = Clock::now();
    PostAt(start, {900});
    EXPECT_EQ(Fetch("http://block/x", {.timeoutSeconds = 1}), kTimeout);
    const long long took = MsSince(start);
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 1500);  // a full second again would end at about 1.9 s
    EXPECT_EQ(g_counted, 1);
}

TEST_F(FetchPageWait, SteadyInputDoesNotExtendTheDeadlineAndIsAllDispatched) {
    started = 1;
    std::vector<int> times;
    for (int at = 20; at <= 940; at += 20) times.push_back(at);
    const auto start = Clock::now();
    PostAt(start, times);
    EXPECT_EQ(Fetch("http://block/x", {.timeoutSeconds = 1}), kTimeout);
    const long long took = MsSince(start);
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 1500);
    EXPECT_EQ(g_counted, static_cast<int>(times.size()));
}

TEST_F(FetchPageWait, ZeroTimeoutGivesTheMessageEvenForAFastWorker) {
    started = 2;
    Text headers = "old";
    EXPECT_EQ(Fetch("http://sleep/0/fast", {.timeoutSeconds = 0, .responseHeaders = &headers}), kTimeout);
    EXPECT_EQ(Fetch("http://sleep/0/fast", {.timeoutSeconds = -1, .responseHeaders = &headers}), kTimeout);
    EXPECT_EQ(headers, "old");
}

TEST_F(FetchPageWait, WorkerInTimeGivesItsResults) {
    started = 1;
    Text headers, cookies;
    EXPECT_EQ(Fetch("http://sleep/200/body", {.timeoutSeconds = 5, .responseHeaders = &headers, .responseCookies = &cookies}),
              "body");
    EXPECT_EQ(headers, "X-Body: body");
    EXPECT_EQ(cookies, "late=body");
}

TEST_F(FetchPageWait, LateWorkerChangesNothing) {
    started = 1;
    Text headers = "old headers", cookies = "old cookies";
    const auto start = Clock::now();
    EXPECT_EQ(Fetch("http://block/late", {.timeoutSeconds = 1, .responseHeaders = &headers, .responseCookies = &cookies}),
              kTimeout);
    EXPECT_LT(MsSince(start), 1500);
    // The worker now finishes, writes into the stream it still co-owns and frees it.
    testing::ReleaseBlockedWorkers();
    for (int i = 0; i < 500 && testing::WorkersEnded() == endedBefore; ++i) Sleep(10);
    EXPECT_EQ(testing::WorkersEnded() - endedBefore, 1);
    EXPECT_EQ(headers, "old headers");
    EXPECT_EQ(cookies, "old cookies");
}

TEST_F(FetchPageWait, HandlerCallingFetchPageInsideTheWaitCompletesFirst) {
    started = 2;
    std::vector<Text> order;
    g_handler = [&order] {
        Bytes inner = Fetch("http://sleep/100/inner", {.timeoutSeconds = 5});
        order.push_back(inner);
    };
    const auto start = Clock::now();
    PostAt(start, {100}, kHandler);
    Bytes outer = Fetch("http://sleep/600/outer", {.timeoutSeconds = 5});
    order.push_back(outer);
    EXPECT_EQ(order, (std::vector<Text>{"inner", "outer"}));
    EXPECT_LT(MsSince(start), 1500);
}

TEST_F(FetchPageWait, QuitEndsEveryWaitAndReachesTheMessageLoop) {
    started = 2;
    Bytes inner = "unset";
    g_handler = [&inner, this] {
        // Inside the outer wait: a nested call whose wait then sees the WM_QUIT.
        PostAt(Clock::now(), {100}, kHandler + 1);
        inner = Fetch("http://block/inner", {.timeoutSeconds = 30});
    };
    Text headers = "old";
    const auto start = Clock::now();
    PostAt(start, {100}, kHandler);
    // kHandler + 1 is not handled by the window; the quit comes from this thread's own
    // queue, as a window's WM_DESTROY handler would post it.
    SetMessagePreTranslator([](WindowMessage* message) {
        if (message->message == kHandler + 1) PostQuitMessage(7);
        return message->message == kHandler + 1;
    });
    Bytes outer = Fetch("http://block/outer", {.timeoutSeconds = 30, .responseHeaders = &headers});
    SetMessagePreTranslator(nullptr);
    EXPECT_EQ(inner, "");
    EXPECT_EQ(outer, "");
    EXPECT_EQ(headers, "old");
    EXPECT_LT(MsSince(start), 1500);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

TEST_F(FetchPageWait, ProgramEndsPromptlyWhileItsWorkerIsBlocked) {
    const testing::ChildEnding ending = testing::RunExitChild("QuorvaneFetchChildDone");
    EXPECT_TRUE(ending.signalled);
    EXPECT_TRUE(ending.ended);
    EXPECT_LT(ending.msAfterSignal, 1000);
    EXPECT_EQ(ending.exitCode, 0u);
}

}  // namespace
}  // namespace quorvane
