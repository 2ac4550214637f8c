#include "tests/fake_platform.h"

#include <algorithm>

#include "scan/text_encoding.h"

namespace tesqua::testing {

void FakePlatform::Record(const std::string& name) {
  calls.push_back(name);
  if (failing.contains(name)) throw PlatformFailure(name + " failed");
}

void FakePlatform::RecordConst(const std::string& name) const {
  const_cast<FakePlatform*>(this)->Record(name);
}

MessageResult FakePlatform::Deliver(std::uint32_t message, std::uintptr_t w_param,
                                    std::intptr_t l_param) {
  if (installed) return installed(kFakeWindow, message, w_param, l_param);
  own_procedure_messages.push_back(message);
  return own_procedure_result;
}

Size FakePlatform::OuterSize() const {
  RecordConst("OuterSize");
  return outer;
}

Size FakePlatform::ScreenSize() const {
  RecordConst("ScreenSize");
  return screen;
}

void FakePlatform::MoveWindow(double new_left, double new_top) {
  Record("MoveWindow");
  left = new_left;
  top = new_top;
}

void FakePlatform::SetText1(std::u16string_view text) {
  Record("SetText1");
  text1 = text;
}

int FakePlatform::Check1Value() const {
  RecordConst("Check1Value");
  return check1;
}

int FakePlatform::GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) {
  Record("GetPriorityClipboardFormat");
  if (clipboard_formats.empty()) return 0;
  for (const std::uint32_t format : formats) {
    if (std::find(clipboard_formats.begin(), clipboard_formats.end(), format) !=
        clipboard_formats.end()) {
      return int(format);
    }
  }
  return -1;
}

std::u16string FakePlatform::ClipboardText() {
  ++clipboard_reads;
  const std::u16string text = clipboard_text;  // what the clipboard held when it was opened
  if (during_read) during_read();
  Record("ClipboardText");
  return text;
}

bool FakePlatform::EmptyClipboard(WindowHandle owner) {
  Record("EmptyClipboard");
  if (owner != kFakeWindow) return false;
  clipboard_formats.clear();
  clipboard_text.clear();
  return true;
}

WindowHandle FakePlatform::SetClipboardViewer(WindowHandle) {
  Record("SetClipboardViewer");
  return next_viewer;
}

bool FakePlatform::ChangeClipboardChain(WindowHandle remove, WindowHandle next) {
  Record("ChangeClipboardChain");
  chain_changes.emplace_back(remove, next);
  return true;
}

MessageResult FakePlatform::SendMessage(WindowHandle to, std::uint32_t message,
                                        std::uintptr_t w_param, std::intptr_t l_param) {
  Record("SendMessage");
  sent.push_back({to, message, w_param, l_param});
  return 0;
}

ProcedureHandle FakePlatform::SetWindowProcedure(WindowHandle, WindowProcedure procedure) {
  Record("SetWindowProcedure");
  installed = procedure;
  return kFakeOwnProcedure;
}

MessageResult FakePlatform::CallWindowProc(ProcedureHandle previous, WindowHandle,
                                           std::uint32_t message, std::uintptr_t, std::intptr_t) {
  Record("CallWindowProc");
  if (previous != kFakeOwnProcedure) throw PlatformFailure("no such procedure");
  own_procedure_messages.push_back(message);
  return own_procedure_result;
}

void FakePlatform::SetTimer(std::uintptr_t id, std::uint32_t milliseconds) {
  Record("SetTimer");
  timers[id] = milliseconds;
}

void FakePlatform::KillTimer(std::uintptr_t id) {
  Record("KillTimer");
  timers.erase(id);
}

bool FakePlatform::SetWindowPos(WindowHandle, WindowHandle after, int, int, int, int,
                                std::uint32_t flags) {
  Record("SetWindowPos");
  if (flags != (kSwpNoMove | kSwpNoSize)) throw PlatformFailure("unexpected SetWindowPos flags");
  insert_after.push_back(after);
  return true;
}

void FakePlatform::ShellExecute(WindowHandle parent, std::u16string_view verb,
                                std::u16string_view file, std::u16string_view parameters,
                                std::u16string_view directory, int show_command) {
  Record("ShellExecute");
  if (parent != kFakeWindow || verb != u"open" || !parameters.empty() || !directory.empty() ||
      show_command != 0) {
    throw PlatformFailure("unexpected ShellExecute arguments");
  }
  shell_files.emplace_back(file);
}

void FakePlatform::MessageBox(std::u16string_view prompt) {
  Record("MessageBox");
  message_boxes.emplace_back(prompt);
}

void FakePlatform::OpenInTextEditor(std::u16string_view file) {
  Record("OpenInTextEditor");
  editor_files.emplace_back(file);
}

std::u16string FakePlatform::DecodeAnsi(std::string_view bytes) const {
  return DecodeGbk(bytes);
}

}  // namespace tesqua::testing
