// The few Windows types that the platform seams use, spelled without Windows headers so
// that the logic above the seams also compiles and runs natively against recording fakes.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define QUORVANE_WINAPI __stdcall
#else
#define QUORVANE_WINAPI
#endif

namespace quorvane {

#if defined(_WIN32)
using Dword = unsigned long;   // DWORD
using WideUnit = wchar_t;      // WCHAR
#else
using Dword = std::uint32_t;
using WideUnit = char16_t;
#endif
using WinBool = int;           // BOOL
using Handle = void*;          // HANDLE, HINTERNET, HWND

}  // namespace quorvane
