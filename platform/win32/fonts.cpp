#include "platform/win32/fonts.h"

#include <cwchar>
#include <initializer_list>
#include <string>

namespace tesqua::win32 {
namespace {

// Faces tried, in order, when the wanted one is missing or cannot show GB2312 text.
constexpr std::initializer_list<const wchar_t*> kChineseFaces = {
    L"宋体", L"SimSun", L"NSimSun", L"Microsoft YaHei", L"Noto Sans CJK SC", L"Noto Serif CJK SC"};
constexpr std::initializer_list<const wchar_t*> kChineseUiFaces = {
    L"Microsoft YaHei UI", L"Microsoft YaHei", L"宋体", L"SimSun", L"Noto Sans CJK SC"};

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool ShowsChinese(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = GB2312_CHARSET;
  wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
  HDC screen = GetDC(nullptr);
  bool found = false;
  EnumFontFamiliesExW(screen, &query, &NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// The first face that shows Chinese; without any, an empty face leaves the choice to the
// font mapper, which still honours the GB2312 character set.
void ChooseChineseFace(LOGFONTW& font, std::initializer_list<const wchar_t*> faces) {
  font.lfCharSet = GB2312_CHARSET;
  for (const wchar_t* face : faces) {
    if (ShowsChinese(face)) {
      wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
      return;
    }
  }
  font.lfFaceName[0] = L'\0';
}

}  // namespace

GdiObject<HFONT> CreateLayoutFont(const FontSpec& layout_font, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -static_cast<LONG>(layout_font.points * dpi / 72.0 + 0.5);
  font.lfWeight = layout_font.weight;
  font.lfCharSet = static_cast<BYTE>(layout_font.charset);
  font.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = Wide(layout_font.face);
  if (ShowsChinese(face.c_str())) {
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  } else {
    ChooseChineseFace(font, kChineseFaces);
  }
  return GdiObject<HFONT>(CreateFontIndirectW(&font));
}

GdiObject<HFONT> CreateUiFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW font{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font = metrics.lfMessageFont;
  } else {
    font.lfHeight = -12;
    font.lfWeight = FW_NORMAL;
  }
  // The metrics are given at the system's DPI, which a screen device context reports.
  HDC screen = GetDC(nullptr);
  const int system_dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (system_dpi > 0) font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), system_dpi);
  if (!ShowsChinese(font.lfFaceName)) ChooseChineseFace(font, kChineseUiFaces);
  return GdiObject<HFONT>(CreateFontIndirectW(&font));
}

}  // namespace tesqua::win32
