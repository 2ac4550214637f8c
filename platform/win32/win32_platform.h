// tesqua::Platform on Win32: the window fmTest, its controls, the clipboard and the shell.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace tesqua::win32 {

// The window's controls, by their given names.
struct FormControls {
  HWND fmTest = nullptr;
  HWND Text1 = nullptr;
  HWND List1 = nullptr;
  HWND Check1 = nullptr;
  HWND Label1 = nullptr;
  HWND Label3 = nullptr;
};

// A real LISTBOX: unsorted, single selection.
class Win32ListBox : public ListBox {
 public:
  explicit Win32ListBox(HWND list) : list_(list) {}

  void AddItem(std::u16string_view item, int index) override;
  int ListCount() const override;
  std::u16string List(int index) const override;
  int ListIndex() const override;
  void SetListIndex(int index) override;

 private:
  void CheckIndex(int index) const;
  HWND list_;
};

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(const FormControls& controls)
      : controls_(controls), list1_(controls.List1) {}

  WindowHandle hWnd() const override;
  Size OuterSize() const override;
  Size ScreenSize() const override;
  void MoveWindow(double left, double top) override;
  void SetText1(std::u16string_view text) override;
  ListBox& List1() override { return list1_; }
  int Check1Value() const override;

  int GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) override;
  std::u16string ClipboardText() override;
  bool EmptyClipboard(WindowHandle owner) override;

  bool AddClipboardFormatListener(WindowHandle window) override;
  ProcedureHandle SetWindowProcedure(WindowHandle window, WindowProcedure procedure) override;
  MessageResult CallWindowProc(ProcedureHandle previous, WindowHandle window, std::uint32_t message,
                               std::uintptr_t w_param, std::intptr_t l_param) override;
  void SetTimer(std::uintptr_t id, std::uint32_t milliseconds) override;
  void KillTimer(std::uintptr_t id) override;

  bool SetWindowPos(WindowHandle window, WindowHandle insert_after, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;
  void ShellExecute(WindowHandle parent, std::u16string_view verb, std::u16string_view file,
                    std::u16string_view parameters, std::u16string_view directory,
                    int show_command) override;
  void MessageBox(std::u16string_view prompt) override;
  void OpenInTextEditor(std::u16string_view file) override;

  std::u16string DecodeAnsi(std::string_view bytes) const override;

 private:
  FormControls controls_;
  Win32ListBox list1_;
};

}  // namespace tesqua::win32
