// <windows.h> for the backend. Its A/W macros would rename the members of tesqua::Platform
// that share their names, so they are undefined here and the wide functions called by name.
#pragma once

#include <windows.h>
// Included before the macros below are undone, as it defines one of them.
#include <shellapi.h>

#undef CallWindowProc
#undef MessageBox
#undef ShellExecute

#include <string>
#include <string_view>

namespace tesqua::win32 {

// char16_t and wchar_t are both UTF-16 on Windows.
inline std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

inline std::u16string FromWide(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace tesqua::win32
