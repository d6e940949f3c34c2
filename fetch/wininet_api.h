// The WinInet functions that a page fetch calls, as one table. The system table is bound
// by name from wininet.dll at first use; tests hand the transaction a recording fake.
#pragma once

#include "fetch/platform_types.h"

namespace quorvane {

struct WinInetApi {
    Handle(QUORVANE_WINAPI* InternetOpenA)(const char* agent, Dword accessType, const char* proxy,
                                           const char* proxyBypass, Dword flags);
    Handle(QUORVANE_WINAPI* InternetConnectA)(Handle internet, const char* host, unsigned short port,
                                              const char* user, const char* password, Dword service,
                                              Dword flags, std::uintptr_t context);
    Handle(QUORVANE_WINAPI* HttpOpenRequestA)(Handle connection, const char* verb, const char* object,
                                              const char* version, const char* referrer,
                                              const char** acceptTypes, Dword flags,
                                              std::uintptr_t context);
    WinBool(QUORVANE_WINAPI* HttpSendRequestA)(Handle request, const char* headers, Dword headersLength,
                                               void* optional, Dword optionalLength);
    WinBool(QUORVANE_WINAPI* InternetReadFile)(Handle file, void* buffer, Dword toRead, Dword* read);
    WinBool(QUORVANE_WINAPI* HttpQueryInfoA)(Handle request, Dword infoLevel, void* buffer,
                                             Dword* bufferLength, Dword* index);
    WinBool(QUORVANE_WINAPI* InternetCloseHandle)(Handle internet);
    WinBool(QUORVANE_WINAPI* InternetSetCookieA)(const char* url, const char* name, const char* data);
    Dword(QUORVANE_WINAPI* GetLastError)();  // kernel32: why HttpQueryInfoA failed
};

// The system's WinInet, bound on first use (thread-safe). Windows only.
const WinInetApi& SystemWinInet();

}  // namespace quorvane
