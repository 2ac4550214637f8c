// Loaded into tesqua.exe by a hook that the end-to-end driver sets on tesqua's window thread:
// reads Text1's font there, where its handle means something, into memory the driver shares.
#include <windows.h>

#include "tests/e2e/win32/font_probe.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ReadFontHook(int code, WPARAM w_param, LPARAM l_param) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(l_param);
  if (code == HC_ACTION && sent->message == RegisterWindowMessageW(kReadFontMessage)) {
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kFontMapping);
    void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
    if (view != nullptr) {
      auto& report = *static_cast<FontReport*>(view);
      const auto text1 = reinterpret_cast<HWND>(sent->wParam);
      const auto font = reinterpret_cast<HFONT>(SendMessageW(text1, WM_GETFONT, 0, 0));
      GetObjectW(font, sizeof report.asked, &report.asked);
      // The font file the system draws it with: what the screen shows. The OS/2 table holds
      // the file's weight class, big-endian, at offset 4; a regular file drawn thicker by the
      // system keeps its 400.
      HDC dc = GetDC(text1);
      const HGDIOBJ old = SelectObject(dc, font);
      constexpr DWORD kOs2Table = 0x322F534F;  // "OS/2", as GetFontData wants it
      BYTE weight[2] = {};
      if (GetFontData(dc, kOs2Table, 4, weight, sizeof weight) == sizeof weight) {
        report.file_weight = weight[0] << 8 | weight[1];
      }
      GetTextFaceW(dc, LF_FACESIZE, report.drawn_face);
      SelectObject(dc, old);
      ReleaseDC(text1, dc);
      UnmapViewOfFile(view);
    }
    if (mapping != nullptr) CloseHandle(mapping);
  }
  return CallNextHookEx(nullptr, code, w_param, l_param);
}
