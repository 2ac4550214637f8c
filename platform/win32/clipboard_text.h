// The clipboard's text, read the way the copying program meant it.
#pragma once

#include <string>

#include "platform/win32/win32.h"

namespace tesqua::win32 {

// Reads the text of the clipboard, which the caller holds open. When the copying program
// placed CF_TEXT itself (it comes before CF_UNICODETEXT in the clipboard's order), its bytes
// are decoded here; otherwise CF_UNICODETEXT is read. Empty when the clipboard offers no
// text; throws PlatformFailure when a text format is offered but cannot be read.
std::u16string ReadOpenClipboardText();

// The code page CF_TEXT is decoded with, given the clipboard's CF_LOCALE (0 when absent).
UINT TextCodePage(LCID clipboard_locale);

}  // namespace tesqua::win32
