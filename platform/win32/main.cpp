#include <exception>

#include "platform/win32/handles.h"
#include "platform/win32/main_window.h"
#include "platform/win32/win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  try {
    const tesqua::win32::ComApartment com;
    tesqua::win32::MainWindow window(instance);
    window.Show(show_command);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window.TranslateDialogKeys(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  } catch (const std::exception&) {
    return 1;
  }
}
