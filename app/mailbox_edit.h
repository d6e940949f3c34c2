// The mailbox name edit box: single line, sunken edge, at most 40 characters, and a filter
// on typed characters (control codes pass; of the others only "-" and the digits). Pasted
// text is not filtered.
#pragma once

#include <windows.h>

#include <string>

namespace quorvane {

// Creates the edit box at `place` with `text`, the caret at the start. Null on failure.
HWND CreateMailboxEdit(HWND parent, int id, const RECT& place, const std::wstring& text);

}  // namespace quorvane
