// The window's texts are GBK bytes (code page 936). They are shown through the
// wide-character window functions so that they read right whatever the system's ANSI
// code page is, and what the user typed is read back as GBK bytes.
#pragma once

#include <string>

#include "text/text.h"

namespace quorvane {

// GBK bytes to UTF-16; "" when the conversion fails.
std::wstring WideFromGbk(const Text& gbk);
// UTF-16 to GBK bytes; characters GBK lacks become "?"; "" when the conversion fails.
Text GbkFromWide(const std::wstring& wide);

}  // namespace quorvane
