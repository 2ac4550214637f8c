// The main window fmTest: its class, its controls and its own window procedure.
#pragma once

#include <array>
#include <memory>

#include "platform/win32/handles.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_platform.h"

namespace tesqua::win32 {

class MainWindow {
 public:
  // Creates fmTest and its controls and runs the load event; the window is not shown yet.
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  void Show(int show_command);
  // Tab and Shift+Tab move the focus through the controls, as in a dialog; true when the
  // message was handled so (and dispatched).
  bool TranslateDialogKeys(MSG& message);

 private:
  struct ControlColors {
    HWND control = nullptr;
    COLORREF fore = 0;
    COLORREF back = 0;
    GdiObject<HBRUSH> brush;
  };

  static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
  LRESULT HandleMessage(UINT message, WPARAM w_param, LPARAM l_param);

  void CreateControls(UINT dpi);
  HWND CreateControl(std::size_t index);
  void LayOut(UINT dpi);
  LRESULT OnCommand(WPARAM w_param, LPARAM l_param);
  LRESULT OnNextControl(WPARAM w_param, LPARAM l_param);
  LRESULT OnControlColor(HDC dc, HWND control);
  LRESULT OnEraseBackground(HDC dc);
  LRESULT OnDpiChanged(WPARAM w_param, LPARAM l_param);
  LRESULT OnDestroy();

  HINSTANCE instance_;
  FormControls controls_;
  std::array<HWND, 5> in_layout_order_{};  // the controls in the order of kControls
  std::array<ControlColors, 5> colors_;
  GdiObject<HBRUSH> back_brush_;
  GdiObject<HFONT> ui_font_;
  GdiObject<HFONT> text1_font_;
  std::unique_ptr<Win32Platform> platform_;
};

}  // namespace tesqua::win32
