// Body read speed: a 64 MB body from the loopback server, fetched alternately through the
// fetch worker (thread, slot stream, transaction, harvest, write back) and through a bare
// WinInet loop with 64 KiB reads. Prints each time, the best of each, their ratio (bare
// time / worker time; 1.0 means the worker costs nothing extra) and the peak memory.
//
// Run under Wine from the source tree:
//   root=$PWD; . scripts/wine-env; quorvane_start_display; quorvane_start_wine
//   wine build/mingw/bench/body_read_bench.exe [rounds]; wineserver -k
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fetch/http_transaction.h"
#include "tests/support/loopback_server.h"

namespace {

using quorvane::Bytes;
using quorvane::FetchSlots;
using quorvane::SlotStream;
using quorvane::SlotStreamRef;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBodySize = 64u * 1024 * 1024;
constexpr DWORD kPiece = 64 * 1024;
// The flags the worker uses for a plain-HTTP request with redirects allowed.
constexpr DWORD kPlainFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Time the worker path spent reading the results back out of the stream, last run.
double readBackSeconds = 0;

// The worker path as FetchPage drives it: slots into a stream, a thread running
// FetchThreadEntry with its own reference, the results read back.
std::size_t ThroughWorker(const std::string& url) {
    SlotStreamRef stream(SlotStream::Create());
    if (!stream || !stream->Write({url, "GET", "", "", "", "", "\xD5\xE6"})) return 0;
    stream->AddRef();
    HANDLE thread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(&quorvane::FetchThreadEntry),
                                 stream.get(), 0, nullptr);
    if (!thread) {
        stream->Close();
        return 0;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    const Clock::time_point readStart = Clock::now();
    FetchSlots out;
    stream->Rewind();
    if (!stream->Read(out) || out.empty()) return 0;
    readBackSeconds = Seconds(readStart);
    return out[0].size();
}

// The same request with WinInet called directly, reading 64 KiB pieces into one string.
std::size_t BareLoop(const std::string& host, INTERNET_PORT port, const std::string& path) {
    std::size_t size = 0;
    HINTERNET internet = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    HINTERNET connection = internet ? InternetConnectA(internet, host.c_str(), port, "", "",
                                                       INTERNET_SERVICE_HTTP, 0, 0)
                                    : nullptr;
    HINTERNET request = connection ? HttpOpenRequestA(connection, "GET", path.c_str(), "HTTP/1.1", "", nullptr,
                                                      kPlainFlags, 0)
                                   : nullptr;
    if (request && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        std::string body;
        const std::unique_ptr<char[]> piece(new char[kPiece]);
        DWORD count = 0;
        while (InternetReadFile(request, piece.get(), kPiece, &count) && count > 0) body.append(piece.get(), count);
        size = body.size();
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (internet) InternetCloseHandle(internet);
    return size;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What the worker's write-back of a 64 MB result costs in the slot stream, next to one
// plain copy of the same bytes (the least any write-back into a byte stream costs).
void PrintWriteBackCost() {
    const FetchSlots result = {std::string(kBodySize, 'r'), "", "", "", "", "", ""};
    double write = 1e9, copy = 1e9;
    for (int i = 0; i < 3; ++i) {
        SlotStreamRef stream(SlotStream::Create());
        if (!stream || !stream->Write({"http://127.0.0.1/", "GET", "", "", "", "", ""})) return;
        Clock::time_point start = Clock::now();
        stream->Rewind();
        stream->Write(result);
        write = std::min(write, Seconds(start));
        start = Clock::now();
        const Bytes plain = result[0];
        copy = std::min(copy, Seconds(start));
    }
    std::printf("write-back of a 64 MB result into the slot stream %.3f s; one plain copy of it %.3f s\n", write, copy);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    quorvane::test::LoopbackServer server;
    if (!server.ok()) {
        std::printf("loopback server did not start\n");
        return 1;
    }
    const auto body = std::make_shared<const std::string>(kBodySize, 'b');
    server.SetHandler([body](const quorvane::test::RecordedRequest&) {
        quorvane::test::ScriptedResponse response;
        response.body = *body;
        return response;
    });
    const std::string url = server.BaseUrl() + "/big";

    std::vector<double> worker, bare;
    bool sizesRight = true;
    for (int round = 0; round < rounds; ++round) {
        Clock::time_point start = Clock::now();
        sizesRight = ThroughWorker(url) == kBodySize && sizesRight;
        worker.push_back(Seconds(start));
        start = Clock::now();
        sizesRight = BareLoop("127.0.0.1", server.Port(), "/big") == kBodySize && sizesRight;
        bare.push_back(Seconds(start));
        std::printf("round %d: worker %.3f s (of which reading the slots back %.3f s), bare loop %.3f s\n",
                    round + 1, worker.back(), readBackSeconds, bare.back());
        std::fflush(stdout);
    }
    PrintWriteBackCost();
    const double bestWorker = *std::min_element(worker.begin(), worker.end());
    const double bestBare = *std::min_element(bare.begin(), bare.end());
    std::printf("body %zu bytes, %d rounds, bodies %s\n", kBodySize, rounds, sizesRight ? "complete" : "INCOMPLETE");
    std::printf("best: worker %.3f s, bare loop %.3f s, ratio bare/worker %.2f\n", bestWorker, bestBare,
                bestBare / bestWorker);
    const double medianWorker = Median(worker), medianBare = Median(bare);
    std::printf("median: worker %.3f s, bare loop %.3f s, ratio bare/worker %.2f\n", medianWorker, medianBare,
                medianBare / medianWorker);

    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        std::printf("peak working set %.1f MB, peak private bytes %.1f MB (server's 64 MB body included)\n",
                    counters.PeakWorkingSetSize / 1048576.0, counters.PeakPagefileUsage / 1048576.0);
    }
    return sizesRight ? 0 : 1;
}
