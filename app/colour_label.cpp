#include "app/colour_label.h"

#include <vector>

namespace quorvane {

namespace {
// Marks the label's stored colour as set (a colour of 0 is black, a valid value).
constexpr LONG_PTR kColourSet = LONG_PTR{1} << 24;
}

HWND CreateColourLabel(HWND parent, int id, const RECT& place, const std::wstring& text, COLORREF colour) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    const HWND label = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | WS_DISABLED | SS_OWNERDRAW,
                                       place.left, place.top, place.right - place.left, place.bottom - place.top,
                                       parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!label) return nullptr;
    SetWindowLongPtrW(label, GWLP_USERDATA, kColourSet | static_cast<LONG_PTR>(colour & 0xFFFFFF));
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return label;
}

bool DrawColourLabel(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_STATIC || !item.hwndItem) return false;
    const LONG_PTR stored = GetWindowLongPtrW(item.hwndItem, GWLP_USERDATA);
    if (!(stored & kColourSet)) return false;
    const auto colour = static_cast<COLORREF>(stored & 0xFFFFFF);

    const int length = GetWindowTextLengthW(item.hwndItem);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(item.hwndItem, text.data(), length + 1);

    RECT area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
    const HGDIOBJ oldFont = SelectObject(item.hDC, GetStockObject(DEFAULT_GUI_FONT));
    const COLORREF oldColour = SetTextColor(item.hDC, colour);
    const int oldMode = SetBkMode(item.hDC, TRANSPARENT);
    DrawTextW(item.hDC, text.data(), -1, &area, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetBkMode(item.hDC, oldMode);
    SetTextColor(item.hDC, oldColour);
    SelectObject(item.hDC, oldFont);
    return true;
}

}  // namespace quorvane
