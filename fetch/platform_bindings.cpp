// Binds the platform tables by name from their system DLLs, once, on first use.
// A function that cannot be found is replaced by one that fails, so a caller sees an
// ordinary failure instead of a crash.
#include <windows.h>

#include <cstddef>

#include "fetch/nls_api.h"
#include "fetch/thread_api.h"
#include "fetch/wininet_api.h"

namespace quorvane {
namespace {

static_assert(sizeof(Dword) == sizeof(DWORD) && sizeof(WideUnit) == sizeof(WCHAR));
static_assert(offsetof(WindowMessage, message) == offsetof(MSG, message) &&
              offsetof(WindowMessage, lParam) == offsetof(MSG, lParam) &&
              offsetof(WindowMessage, x) == offsetof(MSG, pt) && sizeof(WindowMessage) >= sizeof(MSG));

// Looks up `name` in `module`; keeps `fallback` when the module or the name is missing.
template <typename Function>
void Bind(HMODULE module, const char* name, Function& slot, Function fallback) {
    FARPROC address = module ? GetProcAddress(module, name) : nullptr;
    slot = address ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address)) : fallback;
}

template <typename Result, typename... Args>
Result QUORVANE_WINAPI Fails(Args...) {
    return Result{};
}

Dword QUORVANE_WINAPI WaitFails(Dword, const Handle*, WinBool, Dword, Dword) { return WAIT_FAILED; }

}  // namespace

const WinInetApi& SystemWinInet() {
    static const WinInetApi api = [] {
        WinInetApi table{};
        HMODULE wininet = LoadLibraryA("wininet.dll");
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        Bind(wininet, "InternetOpenA", table.InternetOpenA, &Fails<Handle, const char*, Dword, const char*, const char*, Dword>);
        Bind(wininet, "InternetConnectA", table.InternetConnectA,
             &Fails<Handle, Handle, const char*, unsigned short, const char*, const char*, Dword, Dword, std::uintptr_t>);
        Bind(wininet, "HttpOpenRequestA", table.HttpOpenRequestA,
             &Fails<Handle, Handle, const char*, const char*, const char*, const char*, const char**, Dword, std::uintptr_t>);
        Bind(wininet, "HttpSendRequestA", table.HttpSendRequestA, &Fails<WinBool, Handle, const char*, Dword, void*, Dword>);
        Bind(wininet, "InternetReadFile", table.InternetReadFile, &Fails<WinBool, Handle, void*, Dword, Dword*>);
        Bind(wininet, "HttpQueryInfoA", table.HttpQueryInfoA, &Fails<WinBool, Handle, Dword, void*, Dword*, Dword*>);
        Bind(wininet, "InternetCloseHandle", table.InternetCloseHandle, &Fails<WinBool, Handle>);
        Bind(wininet, "InternetSetCookieA", table.InternetSetCookieA, &Fails<WinBool, const char*, const char*, const char*>);
        Bind(kernel, "GetLastError", table.GetLastError, &Fails<Dword>);
        return table;
    }();
    return api;
}

const ThreadApi& SystemThreadApi() {
    static const ThreadApi api = [] {
        ThreadApi table{};
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        HMODULE user = LoadLibraryA("user32.dll");
        Bind(kernel, "CreateThread", table.CreateThread,
             &Fails<Handle, void*, std::size_t, ThreadStartRoutine, void*, Dword, Dword*>);
        // A failed wait reports WAIT_FAILED, never a wake that did not happen.
        Bind(user, "MsgWaitForMultipleObjects", table.MsgWaitForMultipleObjects,
             &WaitFails);
        Bind(kernel, "GetTickCount", table.GetTickCount, &Fails<Dword>);
        Bind(user, "PeekMessageA", table.PeekMessageA, &Fails<WinBool, WindowMessage*, Handle, unsigned int, unsigned int, unsigned int>);
        Bind(user, "TranslateMessage", table.TranslateMessage, &Fails<WinBool, const WindowMessage*>);
        Bind(user, "DispatchMessageA", table.DispatchMessageA, &Fails<std::intptr_t, const WindowMessage*>);
        Bind(kernel, "CloseHandle", table.CloseHandle, &Fails<WinBool, Handle>);
        return table;
    }();
    return api;
}

const NlsApi& SystemNls() {
    static const NlsApi api = [] {
        NlsApi table{};
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        Bind(kernel, "MultiByteToWideChar", table.MultiByteToWideChar,
             &Fails<int, unsigned int, Dword, const char*, int, WideUnit*, int>);
        Bind(kernel, "WideCharToMultiByte", table.WideCharToMultiByte,
             &Fails<int, unsigned int, Dword, const WideUnit*, int, char*, int, const char*, WinBool*>);
        Bind(kernel, "LCMapStringA", table.LCMapStringA, &Fails<int, Dword, Dword, const char*, int, char*, int>);
        return table;
    }();
    return api;
}

}  // namespace quorvane
