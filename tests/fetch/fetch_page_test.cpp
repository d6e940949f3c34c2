// FetchPage over recording thread and message functions: the request it hands to its
// worker, what it makes of the results, and the arithmetic of its deadline.
#include "fetch/fetch_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "fetch/slot_stream.h"

namespace quorvane {
namespace {

constexpr unsigned kWmQuit = 0x0012;
constexpr unsigned kWmApp = 0x8000;
constexpr Dword kWaitTimeout = 258;
constexpr Dword kWaitFailed = 0xFFFFFFFF;
const Bytes kTimeout(kFetchTimeoutMessage, 44);

// One wake of the fake wait: the clock moves on by `advance` ms, `post` (when not 0) is
// put into the queue, and the wait reports `result`.
struct Wake {
    std::uint32_t advance;
    Dword result;
    unsigned post = 0;
};

enum class WorkerStart { RunsAtOnce, Held, Fails };

struct FakeSystem {
    std::uint32_t now = 0;
    // When none are left, the wait reports a worker that ran at once as ended (unless
    // endsUnscripted is false) and otherwise times out at the deadline.
    std::deque<Wake> wakes;
    bool endsUnscripted = true;
    std::vector<Dword> waitTimes, waitCounts;
    std::deque<WindowMessage> queue;
    std::vector<unsigned> translated, dispatched;
    std::function<void(unsigned)> onDispatch;
    WorkerStart start = WorkerStart::RunsAtOnce;
    void* heldStream = nullptr;
    int createCalls = 0;
    std::vector<Handle> closed;
    // What the worker saw and does.
    FetchSlots request;
    bool writesResults = true;
    FetchSlots results;
    bool corruptsStream = false;
};
FakeSystem* g_fake = nullptr;
Handle const kThread = reinterpret_cast<Handle>(static_cast<std::uintptr_t>(0x7100));

Dword QUORVANE_WINAPI TestWorker(void* parameter) {
    SlotStreamRef stream(static_cast<SlotStream*>(parameter));
    stream->Rewind();
    stream->Read(g_fake->request);
    if (g_fake->writesResults) {
        stream->Rewind();
        stream->Write(g_fake->results);
    }
    if (g_fake->corruptsStream) stream->RawBytes().assign("junk");
    return 0;
}

Handle QUORVANE_WINAPI FakeCreateThread(void*, std::size_t, ThreadStartRoutine start, void* parameter, Dword,
                                        Dword*) {
    ++g_fake->createCalls;
    switch (g_fake->start) {
    case WorkerStart::Fails:
        return nullptr;
    case WorkerStart::Held:
        g_fake->heldStream = parameter;
        return kThread;
    case WorkerStart::RunsAtOnce:
        start(parameter);
        return kThread;
    }
    return nullptr;
}

Dword QUORVANE_WINAPI FakeWait(Dword count, const Handle* handles, WinBool, Dword ms, Dword mask) {
    EXPECT_EQ(mask, 0x4BFu);
    if (count == 1) {
        EXPECT_EQ(handles[0], kThread);
    }
    g_fake->waitTimes.push_back(ms);
    g_fake->waitCounts.push_back(count);
    if (g_fake->wakes.empty()) {
        if (count == 1 && g_fake->start == WorkerStart::RunsAtOnce && g_fake->endsUnscripted) return 0;
        g_fake->now += ms;
        return kWaitTimeout;
    }
    Wake wake = g_fake->wakes.front();
    g_fake->wakes.pop_front();
    g_fake->now += wake.advance;
    if (wake.post) g_fake->queue.push_back(WindowMessage{nullptr, wake.post, 0, 0, 0, 0, 0, 0});
    return wake.result;
}

Dword QUORVANE_WINAPI FakeTicks() { return g_fake->now; }

WinBool QUORVANE_WINAPI FakePeek(WindowMessage* message, Handle, unsigned first, unsigned last, unsigned remove) {
    for (auto it = g_fake->queue.begin(); it != g_fake->queue.end(); ++it) {
        if ((first == 0 && last == 0) || (it->message >= first && it->message <= last)) {
            *message = *it;
            if (remove & 1) g_fake->queue.erase(it);
            return 1;
        }
    }
    return 0;
}

WinBool QUORVANE_WINAPI FakeTranslate(const WindowMessage* message) {
    g_fake->translated.push_back(message->message);
    return 0;
}

std::intptr_t QUORVANE_WINAPI FakeDispatch(const WindowMessage* message) {
    g_fake->dispatched.push_back(message->message);
    if (g_fake->onDispatch) g_fake->onDispatch(message->message);
    return 0;
}

WinBool QUORVANE_WINAPI FakeClose(Handle handle) {
    g_fake->closed.push_back(handle);
    return 1;
}

// Code-page functions that carry each byte through one wide unit unchanged.
int QUORVANE_WINAPI FakeToWide(unsigned, Dword, const char* text, int length, WideUnit* wide, int room) {
    if (length < 0) length = static_cast<int>(std::char_traits<char>::length(text)) + 1;
    if (!wide) return length;
    int n = length < room ? length : room;
    for (int i = 0; i < n; ++i) wide[i] = static_cast<WideUnit>(static_cast<unsigned char>(text[i]));
    return n;
}
int QUORVANE_WINAPI FakeFromWide(unsigned, Dword, const WideUnit* wide, int length, char* text, int room, const char*,
                                 WinBool*) {
    if (length < 0) {
        length = 0;
        while (wide[length]) ++length;
        ++length;
    }
    if (!text) return length;
    int n = length < room ? length : room;
    for (int i = 0; i < n; ++i) text[i] = static_cast<char>(wide[i]);
    return n;
}
int QUORVANE_WINAPI FakeMap(Dword, Dword, const char* source, int length, char* destination, int room) {
    if (length < 0) length = static_cast<int>(std::char_traits<char>::length(source)) + 1;
    if (!destination) return length;
    int n = length < room ? length : room;
    for (int i = 0; i < n; ++i) destination[i] = source[i];
    return n;
}

const ThreadApi kFakeThreads = {&FakeCreateThread, &FakeWait, &FakeTicks, &FakePeek,
                                &FakeTranslate,    &FakeDispatch, &FakeClose};
const NlsApi kFakeNls = {&FakeToWide, &FakeFromWide, &FakeMap};
const FetchPlatform kFake = {kFakeThreads, &TestWorker, kFakeNls};

class FetchPageFake : public ::testing::Test {
protected:
    void SetUp() override {
        g_fake = &fake;
        fake.results = {"body", "c=1", "", "", "", "HTTP/1.1 200 OK\r\n\r\n", ""};
    }
    void TearDown() override {
        SetMessagePreTranslator(nullptr);
        g_fake = nullptr;
    }
    FakeSystem fake;
};

TEST_F(FetchPageFake, RequestSlotsFollowTheOptions) {
    struct Case {
        Text url;
        int method;
        std::optional<bool> allowRedirect;
        Text urlAfter, verb, redirect;
    };
    const Text yes = "\xD5\xE6", no = "\xBC\xD9";
    const Case cases[] = {
        {"http://h/p", 0, std::nullopt, "http://h/p", "GET", yes},
        {"https://h/p", 1, true, "https://h/p", "POST", yes},
        {"h/p", 2, false, "http://h/p", "GET", no},
        {"\t", -1, std::nullopt, "http://\t", "GET", yes},
        {" http://h", 1, false, "http:// http://h", "POST", no},
        {"HTTP://h", 0, true, "http://HTTP://h", "GET", yes},
        {"ftp://h", 0, true, "http://ftp://h", "GET", yes},
        {"https:/h", 0, true, "http://https:/h", "GET", yes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        fake.request.clear();
        Text url = c.url;
        FetchOptions options{.method = c.method, .proxy = "px:8080", .headers = "X: y", .postData = Bytes("a\0b", 3),
                             .cookies = "k=v", .allowRedirect = c.allowRedirect};
        EXPECT_EQ(FetchPageWith(kFake, url, options), "body");
        EXPECT_EQ(url, c.urlAfter);
        EXPECT_EQ(fake.request, (FetchSlots{c.urlAfter, c.verb, "px:8080", "X: y", Bytes("a\0b", 3), "k=v", c.redirect}));
    }
}

TEST_F(FetchPageFake, BlankUrlOrLineBreakStartsNothing) {
    const Text urls[] = {"", "   ", "\xA1\xA1\xA1\xA1", " \xA1\xA1 ", "http://h/\r\nX: 1", "h\n", "\r"};
    for (const Text& original : urls) {
        SCOPED_TRACE(original);
        Text url = original, headers = "old", cookies = "old";
        EXPECT_EQ(FetchPageWith(kFake, url, {.responseHeaders = &headers, .responseCookies = &cookies}), "");
        EXPECT_EQ(url, original);
        EXPECT_EQ(headers, "old");
        EXPECT_EQ(cookies, "old");
    }
    EXPECT_EQ(fake.createCalls, 0);
    EXPECT_TRUE(fake.waitTimes.empty());
}

TEST_F(FetchPageFake, ResultsReachTheGivenOutputs) {
    fake.results[0] = Bytes("ab\0cd", 5);
    struct Case {
        int decodeMode;
        Bytes body;
    };
    const Case cases[] = {{0, Bytes("ab\0cd", 5)}, {1, "ab"}, {2, "ab"}, {3, Bytes("ab\0cd", 5)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.decodeMode);
        Text url = "http://h/", headers = "old", cookies = "old";
        EXPECT_EQ(FetchPageWith(kFake, url, {.responseHeaders = &headers, .decodeMode = c.decodeMode, .responseCookies = &cookies}),
                  c.body);
        EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\n\r\n");
        EXPECT_EQ(cookies, "c=1");
    }
    EXPECT_EQ(fake.closed, std::vector<Handle>(4, kThread));
}

TEST_F(FetchPageFake, ResultsOfAnotherShapeGiveTheirFirstSlotOnly) {
    const FetchSlots shapes[] = {{"one", "two"}, {}};
    for (const FetchSlots& shape : shapes) {
        fake.results = shape;
        Text url = "http://h/", headers = "old", cookies = "old";
        EXPECT_EQ(FetchPageWith(kFake, url, {.responseHeaders = &headers, .responseCookies = &cookies}),
                  shape.empty() ? "" : shape[0]);
        EXPECT_EQ(headers, "old");
        EXPECT_EQ(cookies, "old");
    }
}

TEST_F(FetchPageFake, WorkerThatWritesNothingLeavesTheRequestAsResults) {
    fake.writesResults = false;
    Text url = "h/", headers, cookies;
    EXPECT_EQ(FetchPageWith(kFake, url, {.cookies = "k=v", .responseHeaders = &headers, .responseCookies = &cookies}),
              "http://h/");
    EXPECT_EQ(cookies, "GET");
    EXPECT_EQ(headers, "k=v");
}

TEST_F(FetchPageFake, UnreadableResultsGiveEmptyAndNoOutput) {
    fake.corruptsStream = true;
    Text url = "http://h/", headers = "old";
    EXPECT_EQ(FetchPageWith(kFake, url, {.responseHeaders = &headers}), "");
    EXPECT_EQ(headers, "old");
}

// The deadline: every wait is given the time left, the tick count may wrap, and a worker
// that ends at or after the deadline counts as late.
TEST_F(FetchPageFake, EachWaitIsGivenTheTimeLeft) {
    struct Case {
        const char* name;
        std::uint32_t startTick;
        std::optional<int> timeoutSeconds;
        std::deque<Wake> wakes;
        std::vector<Dword> waitTimes;
        Bytes result;
    };
    const Case cases[] = {
        {"one message at 900 ms", 0, 1, {{900, 1, kWmApp}}, {1000, 100}, kTimeout},
        {"tick count wraps meanwhile", 0xFFFFFE00u, 1, {{900, 1, kWmApp}}, {1000, 100}, kTimeout},
        {"steady input", 0xFFFFFFF0u, 1, {{400, 1, kWmApp}, {400, 1, kWmApp}, {150, 1, kWmApp}}, {1000, 600, 200, 50}, kTimeout},
        {"worker ends in time", 0xFFFFFF00u, 1, {{300, 1, kWmApp}, {300, 0}}, {1000, 700}, "body"},
        {"worker ends at the deadline", 0, 1, {{1000, 0}}, {1000}, kTimeout},
        {"timeout reported early", 0, 1, {{990, kWaitTimeout}}, {1000}, kTimeout},
        {"failed waits until the deadline", 0, 1, {{400, kWaitFailed}, {400, kWaitFailed}, {400, kWaitFailed}},
         {1000, 600, 200}, kTimeout},
        {"zero timeout with the worker done", 0, 0, {{0, 0}}, {0}, kTimeout},
        {"negative timeout", 5, -3, {{0, 0}}, {0}, kTimeout},
        {"omitted timeout", 0, std::nullopt, {{10, 0}}, {60000}, "body"},
        {"huge timeout held in range", 0, 3000000, {{10, 0}}, {2147483647u}, "body"},
    };
    fake.endsUnscripted = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.now = c.startTick;
        fake.wakes = c.wakes;
        fake.waitTimes.clear();
        fake.dispatched.clear();
        const std::size_t posted = std::count_if(c.wakes.begin(), c.wakes.end(), [](const Wake& w) { return w.post != 0; });
        Text url = "http://h/";
        EXPECT_EQ(FetchPageWith(kFake, url, {.timeoutSeconds = c.timeoutSeconds}), c.result);
        EXPECT_EQ(fake.waitTimes, c.waitTimes);
        EXPECT_EQ(fake.dispatched.size(), posted);
    }
}

TEST_F(FetchPageFake, NoThreadMeansMessagesAreServedUntilTheDeadline) {
    fake.start = WorkerStart::Fails;
    fake.wakes = {{300, 0, kWmApp}, {300, 0, kWmApp + 1}};
    Text url = "http://h/", headers = "old";
    EXPECT_EQ(FetchPageWith(kFake, url, {.timeoutSeconds = 1, .responseHeaders = &headers}), kTimeout);
    EXPECT_EQ(fake.waitCounts, (std::vector<Dword>{0, 0, 0}));
    EXPECT_EQ(fake.waitTimes, (std::vector<Dword>{1000, 700, 400}));
    EXPECT_EQ(fake.dispatched, (std::vector<unsigned>{kWmApp, kWmApp + 1}));
    EXPECT_EQ(headers, "old");
    EXPECT_TRUE(fake.closed.empty());
    // The stream's reference meant for the worker was dropped: the leak checker sees none.
}

TEST_F(FetchPageFake, LateWorkerIsAbandonedAndWritesOnlyIntoItsOwnStream) {
    fake.start = WorkerStart::Held;
    Text url = "http://h/", headers = "old", cookies = "old";
    EXPECT_EQ(FetchPageWith(kFake, url, {.timeoutSeconds = 1, .responseHeaders = &headers, .responseCookies = &cookies}),
              kTimeout);
    EXPECT_EQ(fake.closed, std::vector<Handle>{kThread});
    ASSERT_NE(fake.heldStream, nullptr);
    // The worker runs on after the call has returned: it reads the request, writes its
    // results into the stream it co-owns and frees it with the last reference.
    TestWorker(fake.heldStream);
    EXPECT_EQ(fake.request[0], "http://h/");
    EXPECT_EQ(headers, "old");
    EXPECT_EQ(cookies, "old");
}

TEST_F(FetchPageFake, PendingQuitEndsTheWaitAndStaysQueued) {
    fake.start = WorkerStart::Held;
    fake.wakes = {{100, 1, kWmApp}, {100, 1, kWmQuit}};
    Text url = "http://h/", headers = "old";
    EXPECT_EQ(FetchPageWith(kFake, url, {.timeoutSeconds = 60, .responseHeaders = &headers}), "");
    EXPECT_EQ(fake.waitTimes.size(), 2u);
    EXPECT_EQ(fake.dispatched, std::vector<unsigned>{kWmApp});
    ASSERT_EQ(fake.queue.size(), 1u);
    EXPECT_EQ(fake.queue.front().message, kWmQuit);
    EXPECT_EQ(fake.closed, std::vector<Handle>{kThread});
    EXPECT_EQ(headers, "old");
    TestWorker(fake.heldStream);

    // A quit already pending: no wait at all.
    fake.waitTimes.clear();
    fake.start = WorkerStart::RunsAtOnce;
    EXPECT_EQ(FetchPageWith(kFake, url, {.responseHeaders = &headers}), "");
    EXPECT_TRUE(fake.waitTimes.empty());
    EXPECT_EQ(headers, "old");
}

TEST_F(FetchPageFake, DispatchStopsBeforeQuitAndHonoursThePreTranslator) {
    for (unsigned m : {kWmApp, kWmApp + 1, kWmQuit, kWmApp + 2})
        fake.queue.push_back(WindowMessage{nullptr, m, 0, 0, 0, 0, 0, 0});
    SetMessagePreTranslator([](WindowMessage* message) { return message->message == kWmApp + 1; });
    DispatchPendingMessages(kFakeThreads);
    EXPECT_EQ(fake.dispatched, std::vector<unsigned>{kWmApp});
    EXPECT_EQ(fake.translated, std::vector<unsigned>{kWmApp});
    ASSERT_EQ(fake.queue.size(), 2u);
    EXPECT_EQ(fake.queue.front().message, kWmQuit);
    EXPECT_TRUE(QuitMessagePending(kFakeThreads));
}

TEST(FetchTimeoutMessage, IsTheFortyFourByteText) {
    EXPECT_EQ(Bytes(kFetchTimeoutMessage).size(), 44u);
}

}  // namespace
}  // namespace quorvane
