// The national-language functions of kernel32 that the text conversions call.
// Bound by name at first use; tests may hand in a recording table.
#pragma once

#include "fetch/platform_types.h"

namespace quorvane {

struct NlsApi {
    int(QUORVANE_WINAPI* MultiByteToWideChar)(unsigned int codePage, Dword flags, const char* text,
                                              int textLength, WideUnit* wide, int wideLength);
    int(QUORVANE_WINAPI* WideCharToMultiByte)(unsigned int codePage, Dword flags, const WideUnit* wide,
                                              int wideLength, char* text, int textLength,
                                              const char* defaultChar, WinBool* usedDefault);
    int(QUORVANE_WINAPI* LCMapStringA)(Dword locale, Dword flags, const char* source, int sourceLength,
                                       char* destination, int destinationLength);
};

// kernel32's functions, bound on first use (thread-safe). Windows only.
const NlsApi& SystemNls();

}  // namespace quorvane
