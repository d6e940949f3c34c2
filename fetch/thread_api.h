// The kernel and user functions that FetchPage calls to run its worker and wait for it
// while the window thread's messages are dispatched. Bound by name at first use.
#pragma once

#include "fetch/platform_types.h"

namespace quorvane {

// Layout of the Windows MSG structure (checked against it where Windows headers exist).
struct WindowMessage {
    Handle hwnd;
    unsigned int message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    Dword time;
    long x, y;
    Dword reserved;  // room for the structure's private tail on some systems
};

using ThreadStartRoutine = Dword(QUORVANE_WINAPI*)(void* parameter);

struct ThreadApi {
    Handle(QUORVANE_WINAPI* CreateThread)(void* security, std::size_t stackSize, ThreadStartRoutine start,
                                          void* parameter, Dword creationFlags, Dword* threadId);
    Dword(QUORVANE_WINAPI* MsgWaitForMultipleObjects)(Dword count, const Handle* handles, WinBool waitAll,
                                                      Dword milliseconds, Dword wakeMask);
    Dword(QUORVANE_WINAPI* GetTickCount)();
    WinBool(QUORVANE_WINAPI* PeekMessageA)(WindowMessage* message, Handle hwnd, unsigned int filterMin,
                                           unsigned int filterMax, unsigned int removeFlags);
    WinBool(QUORVANE_WINAPI* TranslateMessage)(const WindowMessage* message);
    std::intptr_t(QUORVANE_WINAPI* DispatchMessageA)(const WindowMessage* message);
    WinBool(QUORVANE_WINAPI* CloseHandle)(Handle object);
};

// kernel32 and user32, bound on first use (thread-safe). Windows only.
const ThreadApi& SystemThreadApi();

}  // namespace quorvane
