#include <windows.h>

#include "platform/platform.h"

namespace tesqua {

std::u16string DecodeAnsiCodePage(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) throw PlatformFailure("text is not in the system's code page");
  std::u16string text(static_cast<std::size_t>(length), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                      length);
  return text;
}

bool AnsiCodePageIsGbk() {
  return GetACP() == 936;
}

// The code page's own table, so that a cut falls between characters in any double-byte code
// page (936, 932, 949, 950) and anywhere in a single-byte one.
bool IsAnsiLeadByte(unsigned char byte) {
  return IsDBCSLeadByteEx(CP_ACP, byte) != FALSE;
}

}  // namespace tesqua
