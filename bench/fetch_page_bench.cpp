// Figures of FetchPage under Windows, against the loopback server:
//  1. a 64 MB body through FetchPage and through a bare WinInet loop reading 64 KiB
//     pieces, alternated, each run in a fresh child process: times, ratio, peak memory
//     (with, for reference, the transaction alone and a bare loop of 2 KiB pieces);
//  2. latency of messages posted every 10 ms while a request takes 2 s: p50 and p99;
//  3. how far past a 1 s time limit the call returns while input keeps arriving.
// Run: fetch_page_bench.exe [rounds]   (under Wine: wine build/mingw/bench/fetch_page_bench.exe)
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fetch/fetch_page.h"
#include "fetch/http_transaction.h"
#include "fetch/slot_stream.h"
#include "tests/support/loopback_server.h"

namespace {

using namespace std::chrono_literals;
using quorvane::Bytes;
using quorvane::FetchPage;
using quorvane::Text;
using quorvane::test::LoopbackServer;
using quorvane::test::RecordedRequest;
using quorvane::test::ScriptedResponse;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBodySize = 64u << 20;
constexpr double kMiB = 1024.0 * 1024.0;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

// The plain way: one request, the body read in pieces of `pieceSize` bytes, with the open
// flags that the fetch worker uses for http.
Bytes BareWinInet(const Text& host, INTERNET_PORT port, const Text& path, std::size_t pieceSize) {
    Bytes body;
    HINTERNET internet = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = internet ? InternetConnectA(internet, host.c_str(), port, nullptr, nullptr,
                                                       INTERNET_SERVICE_HTTP, 0, 0)
                                    : nullptr;
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    HINTERNET request = connection ? HttpOpenRequestA(connection, "GET", path.c_str(), nullptr, nullptr, nullptr, flags, 0)
                                   : nullptr;
    if (request && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        std::vector<char> piece(pieceSize);
        DWORD count = 0;
        while (InternetReadFile(request, piece.data(), static_cast<DWORD>(piece.size()), &count) && count > 0)
            body.append(piece.data(), count);
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (internet) InternetCloseHandle(internet);
    return body;
}

// Child mode: one download, then "<ms> <peak working set> <bytes>" on stdout.
int RunOne(const Text& how, const Text& port) {
    const auto start = Clock::now();
    Bytes body;
    if (how == "fetch") {
        Text url = "http://127.0.0.1:" + port + "/big";
        body = FetchPage(url, {.timeoutSeconds = 600});
    } else if (how == "worker") {
        // The transaction alone on this thread, its results read back as FetchPage does.
        quorvane::SlotStreamRef stream(quorvane::SlotStream::Create());
        quorvane::FetchSlots slots = {"http://127.0.0.1:" + port + "/big", "GET", "", "", "", "", quorvane::BoolText(true)};
        if (stream && stream->Write(slots)) {
            quorvane::FetchWorker(stream.get());
            stream->Rewind();
            if (stream->Read(slots) && !slots.empty()) body = std::move(slots[0]);
        }
    } else if (how == "bare" || how == "bare2k") {
        body = BareWinInet("127.0.0.1", static_cast<INTERNET_PORT>(std::atoi(port.c_str())), "/big",
                           how == "bare" ? 64 * 1024 : 2048);
    }
    const double ms = MsSince(start);
    std::printf("%.1f %zu %zu\n", ms, PeakWorkingSet(), body.size());
    return 0;
}

struct ChildRun {
    double ms = 0;
    std::size_t peak = 0, bytes = 0;
    bool ok = false;
};

ChildRun RunChild(const Text& how, unsigned port) {
    ChildRun run;
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    Text commandLine = "\"";
    commandLine.append(path).append("\" --one ").append(how).append(" ").append(std::to_string(port));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(path, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[256];
        DWORD count = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &count, nullptr) && count > 0) output.append(buffer, count);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    unsigned long long peak = 0, bytes = 0;
    run.ok = std::sscanf(output.c_str(), "%lf %llu %llu", &run.ms, &peak, &bytes) == 3;
    run.peak = static_cast<std::size_t>(peak);
    run.bytes = static_cast<std::size_t>(bytes);
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())));
    return values[at];
}

void BigBody(int rounds) {
    LoopbackServer server;
    const Bytes big(kBodySize, 'x');
    server.SetHandler([&big](const RecordedRequest&) { return ScriptedResponse{.body = big}; });
    const char* const kinds[] = {"fetch", "worker", "bare", "bare2k"};
    std::vector<double> ms[4];
    std::size_t peak[4] = {0, 0, 0, 0};
    bool complete = true;
    const ChildRun idle = RunChild("none", server.Port());
    for (int round = 0; round < rounds; ++round) {
        for (int kind = 0; kind < 4; ++kind) {
            const ChildRun run = RunChild(kinds[kind], server.Port());
            complete = complete && run.ok && run.bytes == kBodySize;
            ms[kind].push_back(run.ms);
            peak[kind] = std::max(peak[kind], run.peak);
        }
    }
    const char* const labels[] = {"FetchPage", "  its transaction alone, no thread", "bare WinInet, 64 KiB reads",
                                  "bare WinInet, 2 KiB reads"};
    std::printf("1. 64 MB body, %d alternated rounds, each in a fresh process%s\n", rounds,
                complete ? "" : "  (SOME RUNS INCOMPLETE)");
    std::printf("   %-34s %10s %14s\n", "", "median ms", "peak WS MiB");
    for (int kind = 0; kind < 4; ++kind)
        std::printf("   %-34s %10.0f %14.1f\n", labels[kind], Median(ms[kind]), peak[kind] / kMiB);
    std::printf("   %-34s %10s %14.1f\n", "idle process (for reference)", "", idle.peak / kMiB);
    const double fetch = Median(ms[0]), bare = Median(ms[2]);
    std::printf("   speed ratio bare 64 KiB / FetchPage: %.2f (goal >= 0.9)\n", fetch > 0 ? bare / fetch : 0.0);
    std::printf("   peak %.1f MiB vs limit 2.5 x body + 30 MiB = %.1f MiB\n", peak[0] / kMiB,
                2.5 * static_cast<double>(kBodySize) / kMiB + 30);
}

// A window that records how long each posted message waited in the queue.
std::vector<double>* g_latencies = nullptr;
std::vector<Clock::time_point>* g_postedAt = nullptr;

LRESULT CALLBACK LatencyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        if (g_latencies && g_postedAt && wParam < g_postedAt->size())
            g_latencies->push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - (*g_postedAt)[wParam]).count());
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &LatencyWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuorvaneFetchBench";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
}

// Posts WM_APP every 10 ms until `stop`; the post times go to `postedAt` (sized ahead).
std::thread Poster(HWND window, std::vector<Clock::time_point>& postedAt, std::atomic<bool>& stop) {
    return std::thread([window, &postedAt, &stop] {
        const auto start = Clock::now();
        for (std::size_t i = 0; i < postedAt.size() && !stop; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * i));
            postedAt[i] = Clock::now();
            PostMessageA(window, WM_APP, i, 0);
        }
    });
}

void DispatchLatency() {
    LoopbackServer server;
    server.SetHandler([](const RecordedRequest&) { return ScriptedResponse{.body = "done", .delay = 2000ms}; });
    HWND window = MakeWindow();
    std::vector<double> latencies;
    std::vector<Clock::time_point> postedAt(190);  // 1.9 s of input, all inside the request
    g_latencies = &latencies;
    g_postedAt = &postedAt;
    std::atomic<bool> stop{false};
    Text url = server.BaseUrl() + "/slow";
    std::thread poster = Poster(window, postedAt, stop);
    const Bytes body = FetchPage(url, {.timeoutSeconds = 30});
    stop = true;
    poster.join();
    g_latencies = nullptr;
    DestroyWindow(window);
    std::printf("2. dispatch latency, a message every 10 ms during a 2 s request (%s)\n",
                body == "done" ? "request completed" : "REQUEST FAILED");
    std::printf("   messages %zu, p50 %.2f ms, p99 %.2f ms, max %.2f ms (goal p99 <= 20 ms)\n", latencies.size(),
                Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0));
}

void DeadlineOvershoot(int rounds) {
    LoopbackServer server;
    HWND window = MakeWindow();
    std::vector<double> overshoot;
    for (int round = 0; round < rounds; ++round) {
        server.Enqueue({.stall = true});
        std::vector<Clock::time_point> postedAt(300);
        g_postedAt = &postedAt;
        std::atomic<bool> stop{false};
        Text url = server.BaseUrl() + "/stalled";
        const auto start = Clock::now();
        std::thread poster = Poster(window, postedAt, stop);
        const Bytes result = FetchPage(url, {.timeoutSeconds = 1});
        overshoot.push_back(MsSince(start) - 1000.0);
        stop = true;
        poster.join();
        if (result != Bytes(quorvane::kFetchTimeoutMessage)) std::printf("   (round %d: not the timeout message)\n", round);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    DestroyWindow(window);
    std::printf("3. overshoot of a 1 s limit under input every 10 ms, %d rounds\n", rounds);
    std::printf("   median %.1f ms, max %.1f ms (goal <= 100 ms)\n", Median(overshoot),
                *std::max_element(overshoot.begin(), overshoot.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && Text(argv[1]) == "--one") return RunOne(argv[2], argv[3]);
    const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("FetchPage benchmark\n");
    BigBody(rounds);
    std::fflush(stdout);
    DispatchLatency();
    std::fflush(stdout);
    DeadlineOvershoot(5);
    return 0;
}
