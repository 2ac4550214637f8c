// Systems without an ANSI code page of their own read legacy text as GBK, the code page our
// users' formula files are written in.
#include "platform/platform.h"
#include "scan/text_encoding.h"

namespace tesqua {

std::u16string DecodeAnsiCodePage(std::string_view bytes) {
  return DecodeGbk(bytes);
}

bool AnsiCodePageIsGbk() {
  return true;
}

bool IsAnsiLeadByte(unsigned char byte) {
  return IsGbkLeadByte(byte);
}

}  // namespace tesqua
