#include "platform/win32/clipboard_text.h"

#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace tesqua::win32 {
namespace {

HGLOBAL ClipboardBlock(UINT format) {
  HANDLE block = GetClipboardData(format);
  if (block == nullptr) throw PlatformFailure("the clipboard's text could not be read");
  return static_cast<HGLOBAL>(block);
}

// The first of CF_TEXT and CF_UNICODETEXT in the clipboard's order; formats the system
// synthesises come after those the copying program placed. 0 when neither is listed.
UINT FirstTextFormat() {
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    if (format == CF_TEXT || format == CF_UNICODETEXT) return format;
  }
  return 0;
}

LCID ClipboardLocale() {
  if (!IsClipboardFormatAvailable(CF_LOCALE)) return 0;
  HANDLE block = GetClipboardData(CF_LOCALE);
  if (block == nullptr) return 0;
  GlobalLockGuard lock(static_cast<HGLOBAL>(block));
  if (lock.size() < sizeof(LCID)) return 0;
  LCID locale = 0;
  std::memcpy(&locale, lock.data(), sizeof locale);
  return locale;
}

bool IsSingleByte(UINT code_page) {
  CPINFO info{};
  return GetCPInfo(code_page, &info) && info.MaxCharSize == 1;
}

std::u16string ReadUnicodeText() {
  GlobalLockGuard lock(ClipboardBlock(CF_UNICODETEXT));
  const std::u16string_view block(static_cast<const char16_t*>(lock.data()),
                                  lock.size() / sizeof(char16_t));
  return std::u16string(block.substr(0, block.find(u'\0')));
}

std::u16string ReadAnsiText() {
  const UINT code_page = TextCodePage(ClipboardLocale());
  GlobalLockGuard lock(ClipboardBlock(CF_TEXT));
  std::string_view bytes(static_cast<const char*>(lock.data()), lock.size());
  bytes = bytes.substr(0, bytes.find('\0'));
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) throw PlatformFailure("the clipboard's text could not be decoded");
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), size, text.data(), length);
  return FromWide(text);
}

}  // namespace

UINT TextCodePage(LCID clipboard_locale) {
  const UINT system = GetACP();
  if (clipboard_locale == 0) return system;
  UINT code_page = 0;
  if (GetLocaleInfoW(clipboard_locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&code_page),
                     sizeof code_page / sizeof(wchar_t)) == 0 ||
      code_page == CP_ACP || !IsValidCodePage(code_page)) {
    return system;
  }
  // A program that gives no CF_LOCALE gets the active keyboard layout's language there. An
  // English layout on a Chinese system would so name a one-byte code page for text that is
  // in the system's two-byte one; the system's code page is the truer guess then.
  if (IsSingleByte(code_page) && !IsSingleByte(system)) return system;
  return code_page;
}

std::u16string ReadOpenClipboardText() {
  const UINT first = FirstTextFormat();
  if (first == CF_TEXT) return ReadAnsiText();
  if (first == CF_UNICODETEXT || IsClipboardFormatAvailable(CF_UNICODETEXT)) {
    return ReadUnicodeText();
  }
  if (IsClipboardFormatAvailable(CF_TEXT)) return ReadAnsiText();
  return {};
}

}  // namespace tesqua::win32
