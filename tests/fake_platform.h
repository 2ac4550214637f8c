// An in-memory platform: records each call in order, holds the controls and a clipboard, runs
// a chain of window procedures, and fails any operation it is told to.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "scan/entry_list.h"

namespace tesqua::testing {

inline constexpr WindowHandle kFakeWindow = 0x1000;
inline constexpr ProcedureHandle kFakeOwnProcedure = 0x2000;

class FakeListBox : public EntryList {
 public:
  // Every selection the list went through, in order.
  std::vector<int> selections;
  void SetListIndex(int index) override {
    EntryList::SetListIndex(index);
    selections.push_back(index);
  }
};

class FakePlatform : public Platform {
 public:
  // Calls, by name, in the order they were made.
  std::vector<std::string> calls;
  // Operations, by name, that throw PlatformFailure.
  std::set<std::string> failing;

  std::u16string text1;
  FakeListBox list1;
  int check1 = 1;
  Size outer{259, 432};
  Size screen{1920, 1080};
  double left = 0;
  double top = 0;

  std::vector<std::uint32_t> clipboard_formats;  // what the clipboard offers, in its order
  std::u16string clipboard_text;
  int clipboard_reads = 0;
  // Runs inside each read, as messages the window system delivers inside clipboard calls.
  std::function<void()> during_read;
  std::map<std::uintptr_t, std::uint32_t> timers;  // running timers and their periods

  WindowHandle next_viewer = 0;  // what SetClipboardViewer returns
  WindowProcedure installed = nullptr;
  MessageResult own_procedure_result = 42;
  struct Sent {
    WindowHandle to;
    std::uint32_t message;
    std::uintptr_t w_param;
    std::intptr_t l_param;
  };
  std::vector<Sent> sent;                             // messages sent to other windows
  std::vector<std::uint32_t> own_procedure_messages;  // what the window's own procedure saw
  std::vector<std::pair<WindowHandle, WindowHandle>> chain_changes;
  std::vector<WindowHandle> insert_after;  // SetWindowPos calls
  std::vector<std::u16string> message_boxes;
  std::vector<std::u16string> editor_files;
  std::vector<std::u16string> shell_files;

  // Another program puts content on the clipboard: text in the given formats, in the
  // clipboard's order (text with CF_TEXT and CF_UNICODETEXT unless told otherwise).
  void Copy(std::u16string text, std::vector<std::uint32_t> formats = {1, 13}) {
    clipboard_text = std::move(text);
    clipboard_formats = std::move(formats);
  }

  // Delivers a message the way the window system would: to the installed procedure if any,
  // else to the window's own.
  MessageResult Deliver(std::uint32_t message, std::uintptr_t w_param = 0,
                        std::intptr_t l_param = 0);

  WindowHandle hWnd() const override { return kFakeWindow; }
  Size OuterSize() const override;
  Size ScreenSize() const override;
  void MoveWindow(double new_left, double new_top) override;
  void SetText1(std::u16string_view text) override;
  ListBox& List1() override { return list1; }
  int Check1Value() const override;
  int GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) override;
  std::u16string ClipboardText() override;
  bool EmptyClipboard(WindowHandle owner) override;
  WindowHandle SetClipboardViewer(WindowHandle window) override;
  bool ChangeClipboardChain(WindowHandle remove, WindowHandle next) override;
  MessageResult SendMessage(WindowHandle to, std::uint32_t message, std::uintptr_t w_param,
                            std::intptr_t l_param) override;
  ProcedureHandle SetWindowProcedure(WindowHandle window, WindowProcedure procedure) override;
  MessageResult CallWindowProc(ProcedureHandle previous, WindowHandle window, std::uint32_t message,
                               std::uintptr_t w_param, std::intptr_t l_param) override;
  void SetTimer(std::uintptr_t id, std::uint32_t milliseconds) override;
  void KillTimer(std::uintptr_t id) override;
  bool SetWindowPos(WindowHandle window, WindowHandle after, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;
  void ShellExecute(WindowHandle parent, std::u16string_view verb, std::u16string_view file,
                    std::u16string_view parameters, std::u16string_view directory,
                    int show_command) override;
  void MessageBox(std::u16string_view prompt) override;
  void OpenInTextEditor(std::u16string_view file) override;
  std::u16string DecodeAnsi(std::string_view bytes) const override;

 private:
  void Record(const std::string& name);
  void RecordConst(const std::string& name) const;
};

}  // namespace tesqua::testing
