#include "app/gbk_text.h"

#include <windows.h>

#include <new>

namespace quorvane {

namespace {
constexpr UINT kGbkCodePage = 936;
}

std::wstring WideFromGbk(const Text& gbk) {
    if (gbk.empty()) return {};
    try {
        const int size = static_cast<int>(gbk.size());
        const int needed = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), size, nullptr, 0);
        if (needed <= 0) return {};
        std::wstring wide(static_cast<std::size_t>(needed), L'\0');
        const int written = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), size, wide.data(), needed);
        wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
        return wide;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Text GbkFromWide(const std::wstring& wide) {
    if (wide.empty()) return {};
    try {
        const int size = static_cast<int>(wide.size());
        const int needed = WideCharToMultiByte(kGbkCodePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) return {};
        Text gbk(static_cast<std::size_t>(needed), '\0');
        const int written =
            WideCharToMultiByte(kGbkCodePage, 0, wide.data(), size, gbk.data(), needed, nullptr, nullptr);
        gbk.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
        return TextFromBytes(gbk);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace quorvane
