// An in-memory window, controls and clipboard that fail any operation they are told to.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "scan/text_encoding.h"
#include "tests/entry_list.h"

namespace tesqua::testing {

inline constexpr WindowHandle kFakeWindow = 0x1000;
inline constexpr ProcedureHandle kFakeOwnProcedure = 0x2000;
inline constexpr MessageResult kOwnResult = 42;  // what the window's own procedure returns

class FakeListBox : public EntryList {
 public:
  std::vector<int> selections;  // every selection the list went through, in order
  void SetListIndex(int index) override {
    EntryList::SetListIndex(index);
    selections.push_back(index);
  }
};

class FakePlatform : public Platform {
 public:
  std::set<std::string> failing;  // operations, by name, that throw PlatformFailure

  std::u16string text1;
  FakeListBox list1;
  int check1 = 1;
  Size screen{1920, 1080};
  double left = 0, top = 0;
  bool topmost = false;

  std::vector<std::uint32_t> clipboard_formats;  // what the clipboard offers, in its order
  std::u16string clipboard_text;
  int clipboard_reads = 0;
  std::function<void()> during_read;               // messages the system delivers inside a read
  std::map<std::uintptr_t, std::uint32_t> timers;  // running timers and their periods

  bool listening = false;           // whether the window is a clipboard format listener
  std::function<void()> on_listen;  // what happens right after the window starts listening
  WindowProcedure installed = nullptr;
  std::vector<std::uint32_t> own_procedure_messages;
  std::vector<std::u16string> shown;  // message boxes, "editor FILE", "open PAGE", in order

  // Another program puts text on the clipboard, in the given formats, in the clipboard's order.
  void Copy(std::u16string text, std::vector<std::uint32_t> formats = {1, 13}) {
    clipboard_text = std::move(text);
    clipboard_formats = std::move(formats);
  }
  // The clipboard changed: the system notifies a listening window (WM_CLIPBOARDUPDATE).
  void ClipboardChanged() {
    if (listening) Deliver(0x031D);
  }
  // A message from the window system: to the installed procedure if any, else the window's own.
  MessageResult Deliver(std::uint32_t message, std::uintptr_t w_param = 0,
                        std::intptr_t l_param = 0) {
    if (installed) return installed(kFakeWindow, message, w_param, l_param);
    return own_procedure_messages.push_back(message), kOwnResult;
  }

  WindowHandle hWnd() const override { return kFakeWindow; }
  Size OuterSize() const override { return Check("OuterSize"), Size{259, 432}; }
  Size ScreenSize() const override { return Check("ScreenSize"), screen; }
  void MoveWindow(double x, double y) override { Check("MoveWindow"), left = x, top = y; }
  void SetText1(std::u16string_view text) override { Check("SetText1"), text1 = text; }
  ListBox& List1() override { return list1; }
  int Check1Value() const override { return check1; }
  int GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) override {
    Check("GetPriorityClipboardFormat");
    if (clipboard_formats.empty()) return 0;
    for (const std::uint32_t format : formats) {
      if (std::ranges::count(clipboard_formats, format) > 0) return int(format);
    }
    return -1;
  }
  std::u16string ClipboardText() override {
    ++clipboard_reads;
    const std::u16string text = clipboard_text;  // what the clipboard held when it was opened
    if (during_read) during_read();
    return Check("ClipboardText"), text;
  }
  bool EmptyClipboard(WindowHandle owner) override {
    Check("EmptyClipboard");
    return owner == kFakeWindow && (Copy(u"", {}), true);
  }
  bool AddClipboardFormatListener(WindowHandle window) override {
    Check("AddClipboardFormatListener");
    listening = window == kFakeWindow;
    if (on_listen) on_listen();
    return listening;
  }
  ProcedureHandle SetWindowProcedure(WindowHandle, WindowProcedure procedure) override {
    return Check("SetWindowProcedure"), installed = procedure, kFakeOwnProcedure;
  }
  MessageResult CallWindowProc(ProcedureHandle previous, WindowHandle, std::uint32_t message,
                               std::uintptr_t, std::intptr_t) override {
    Check("CallWindowProc");
    if (previous != kFakeOwnProcedure) throw PlatformFailure("no such procedure");
    own_procedure_messages.push_back(message);
    return kOwnResult;
  }
  void SetTimer(std::uintptr_t id, std::uint32_t period) override { timers[id] = period; }
  void KillTimer(std::uintptr_t id) override { timers.erase(id); }
  bool SetWindowPos(WindowHandle window, WindowHandle after, int x, int y, int width, int height,
                    std::uint32_t flags) override {
    Check("SetWindowPos");  // and only ever asked to change the z-order
    if (window != kFakeWindow || (after != kHwndTopmost && after != kHwndNotopmost) ||
        flags != (kSwpNoMove | kSwpNoSize) || (x | y | width | height) != 0) {
      throw PlatformFailure("unexpected SetWindowPos arguments");
    }
    return topmost = after == kHwndTopmost, true;
  }
  void ShellExecute(WindowHandle, std::u16string_view verb, std::u16string_view file,
                    std::u16string_view parameters, std::u16string_view, int) override {
    shown.push_back(std::u16string(verb) + u" " + std::u16string(file) +
                    std::u16string(parameters));
  }
  void MessageBox(std::u16string_view prompt) override { shown.emplace_back(prompt); }
  void OpenInTextEditor(std::u16string_view file) override {
    Check("OpenInTextEditor"), shown.push_back(u"editor " + std::u16string(file));
  }
  std::u16string DecodeAnsi(std::string_view bytes) const override { return DecodeGbk(bytes); }

 private:
  void Check(const std::string& name) const {
    if (failing.contains(name)) throw PlatformFailure(name + " failed");
  }
};

}  // namespace tesqua::testing
