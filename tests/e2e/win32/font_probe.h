// What the font probe, run inside tesqua.exe, hands back to the driver.
#pragma once

#include <windows.h>

inline constexpr wchar_t kReadFontMessage[] = L"TesquaE2eReadFont";  // w_param: the edit control
inline constexpr wchar_t kFontMapping[] = L"TesquaE2eFont";

struct FontReport {
  LOGFONTW asked;                   // the font as the program made it
  int file_weight;                  // the weight class of the font file it is drawn with
  wchar_t drawn_face[LF_FACESIZE];  // and the face as the system names it
};
