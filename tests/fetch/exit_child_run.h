// Starts fetch_page_exit_child.exe (beside the running test program) and reports how it
// ended: whether it signalled that its FetchPage call had returned, how long the process
// took to end after that, and its exit code.
#pragma once

#include <windows.h>

#include <chrono>

#include "text/text.h"

namespace quorvane::testing {

struct ChildEnding {
    bool signalled = false;  // the child's call returned and it said so
    bool ended = false;      // the process ended within the wait
    long long msAfterSignal = -1;
    DWORD exitCode = 99;
};

// `arguments` follow the event name on the child's command line (a url, or nothing).
inline ChildEnding RunExitChild(const Text& eventPrefix, const Text& arguments = "") {
    ChildEnding ending;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    Text child(path, length);
    child = child.substr(0, child.find_last_of("\\/") + 1) + "fetch_page_exit_child.exe";
    const Text eventName = eventPrefix + IntText(GetCurrentProcessId());
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    if (!done) return ending;
    Text commandLine = "\"" + child + "\" " + eventName + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(child.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        ending.signalled = WaitForSingleObject(done, 30000) == WAIT_OBJECT_0;
        const auto returned = std::chrono::steady_clock::now();
        ending.ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
        ending.msAfterSignal = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - returned)
                                   .count();
        GetExitCodeProcess(process.hProcess, &ending.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(done);
    return ending;
}

}  // namespace quorvane::testing
