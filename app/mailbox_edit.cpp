#include "app/mailbox_edit.h"

#include <commctrl.h>

#include "app/mailbox_request.h"

namespace quorvane {

namespace {

constexpr UINT_PTR kFilterId = 1;
constexpr int kTextLimit = 40;

LRESULT CALLBACK FilterTypedCharacters(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR) {
    if (message == WM_CHAR && !IsTypedCharacterAllowed(static_cast<unsigned int>(wParam))) return 0;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &FilterTypedCharacters, kFilterId);
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

HWND CreateMailboxEdit(HWND parent, int id, const RECT& place, const std::wstring& text) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    const HWND edit =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!edit) return nullptr;
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(edit, EM_LIMITTEXT, kTextLimit, 0);
    SendMessageW(edit, EM_SETSEL, 0, 0);
    SetWindowSubclass(edit, &FilterTypedCharacters, kFilterId, 0);
    return edit;
}

}  // namespace quorvane
