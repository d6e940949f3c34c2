// Labels whose text is drawn in a colour of their own, also while disabled (the standard
// static control would grey a disabled label's text). The label is an owner-drawn static
// control; its parent forwards WM_DRAWITEM to DrawColourLabel.
#pragma once

#include <windows.h>

#include <string>

namespace quorvane {

// A disabled, borderless, single-line label at `place` (client coordinates of `parent`),
// with the stock DEFAULT_GUI_FONT. Returns null when the control cannot be made.
HWND CreateColourLabel(HWND parent, int id, const RECT& place, const std::wstring& text, COLORREF colour);

// Paints a label made by CreateColourLabel: face-coloured background, text in the label's
// colour, left-aligned and vertically centred, no word wrap. False for any other control.
bool DrawColourLabel(const DRAWITEMSTRUCT& item);

}  // namespace quorvane
