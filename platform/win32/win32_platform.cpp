#include "platform/win32/win32_platform.h"

#include <cmath>
#include <exception>
#include <vector>

#include "platform/win32/clipboard_text.h"
#include "platform/win32/handles.h"
#include "ui/layout.h"

namespace tesqua::win32 {
namespace {

HWND ToHwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

WindowHandle ToHandle(HWND window) {
  return reinterpret_cast<WindowHandle>(window);
}

// The one window whose procedure was replaced: what replaced it and what it replaced.
WindowProcedure installed_procedure = nullptr;
WNDPROC replaced_procedure = nullptr;

// The window system calls this in place of the window's own procedure and hands every message
// to the installed WindowProcedure; nothing may unwind into Windows.
LRESULT CALLBACK ProcedureTrampoline(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  try {
    return installed_procedure(ToHandle(window), message, w_param, l_param);
  } catch (...) {
    return CallWindowProcW(replaced_procedure, window, message, w_param, l_param);
  }
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring InDirectory(UINT (*directory_of)(LPWSTR, UINT), const wchar_t* name) {
  wchar_t directory[MAX_PATH];
  const UINT length = directory_of(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(directory, length) + L"\\" + name;
}

UINT WindowsDirectory(LPWSTR buffer, UINT size) {
  return GetWindowsDirectoryW(buffer, size);
}

UINT SystemDirectory(LPWSTR buffer, UINT size) {
  return GetSystemDirectoryW(buffer, size);
}

// Notepad by its full path, never through the search path: a notepad.exe planted in the
// current directory must not run.
std::wstring NotepadPath() {
  for (auto directory_of : {&WindowsDirectory, &SystemDirectory}) {
    std::wstring path = InDirectory(directory_of, L"notepad.exe");
    if (!path.empty() && FileExists(path)) return path;
  }
  throw PlatformFailure("notepad.exe was not found in the Windows directory");
}

}  // namespace

void Win32ListBox::CheckIndex(int index) const {
  if (index < 0 || index >= ListCount()) throw PlatformFailure("list index out of range");
}

void Win32ListBox::AddItem(std::u16string_view item, int index) {
  const int count = ListCount();
  if (index < 0 || index > count) throw PlatformFailure("list index out of range");
  const std::wstring text = Wide(item);
  const WPARAM at = index == count ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(index);
  const LRESULT result =
      SendMessageW(list_, LB_INSERTSTRING, at, reinterpret_cast<LPARAM>(text.c_str()));
  if (result == LB_ERR || result == LB_ERRSPACE) throw PlatformFailure("list item not added");
}

int Win32ListBox::ListCount() const {
  const LRESULT count = SendMessageW(list_, LB_GETCOUNT, 0, 0);
  if (count == LB_ERR) throw PlatformFailure("list count unavailable");
  return static_cast<int>(count);
}

std::u16string Win32ListBox::List(int index) const {
  CheckIndex(index);
  const WPARAM at = static_cast<WPARAM>(index);
  const LRESULT length = SendMessageW(list_, LB_GETTEXTLEN, at, 0);
  if (length == LB_ERR) throw PlatformFailure("list item unavailable");
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list_, LB_GETTEXT, at, reinterpret_cast<LPARAM>(text.data()));
  if (copied == LB_ERR) throw PlatformFailure("list item unavailable");
  text.resize(static_cast<std::size_t>(copied));
  return FromWide(text);
}

int Win32ListBox::ListIndex() const {
  const LRESULT selected = SendMessageW(list_, LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

void Win32ListBox::SetListIndex(int index) {
  // LB_SETCURSEL answers LB_ERR for -1 even though it clears the selection.
  if (index != -1) CheckIndex(index);
  SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

WindowHandle Win32Platform::hWnd() const {
  return ToHandle(controls_.fmTest);
}

Size Win32Platform::OuterSize() const {
  RECT rect{};
  if (!GetWindowRect(controls_.fmTest, &rect)) throw PlatformFailure("window size unavailable");
  return {double(rect.right - rect.left), double(rect.bottom - rect.top)};
}

Size Win32Platform::ScreenSize() const {
  return {double(GetSystemMetrics(SM_CXSCREEN)), double(GetSystemMetrics(SM_CYSCREEN))};
}

void Win32Platform::MoveWindow(double left, double top) {
  const int x = static_cast<int>(std::lround(left));
  const int y = static_cast<int>(std::lround(top));
  if (!::SetWindowPos(controls_.fmTest, nullptr, x, y, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)) {
    throw PlatformFailure("the window could not be moved");
  }
}

void Win32Platform::SetText1(std::u16string_view text) {
  if (!SetWindowTextW(controls_.Text1, Wide(text).c_str())) {
    throw PlatformFailure("Text1 could not be written");
  }
}

int Win32Platform::Check1Value() const {
  return SendMessageW(controls_.Check1, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int Win32Platform::GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) {
  std::vector<UINT> list(formats.begin(), formats.end());
  return ::GetPriorityClipboardFormat(list.data(), static_cast<int>(list.size()));
}

std::u16string Win32Platform::ClipboardText() {
  const ClipboardSession session(controls_.fmTest);
  if (!session.is_open()) throw PlatformFailure("the clipboard is held by another program");
  return ReadOpenClipboardText();
}

bool Win32Platform::EmptyClipboard(WindowHandle owner) {
  const ClipboardSession session(ToHwnd(owner));
  return session.is_open() && ::EmptyClipboard();
}

bool Win32Platform::AddClipboardFormatListener(WindowHandle window) {
  return ::AddClipboardFormatListener(ToHwnd(window)) != FALSE;
}

ProcedureHandle Win32Platform::SetWindowProcedure(WindowHandle window, WindowProcedure procedure) {
  installed_procedure = procedure;
  const LONG_PTR previous = SetWindowLongPtrW(ToHwnd(window), GWLP_WNDPROC,
                                              reinterpret_cast<LONG_PTR>(&ProcedureTrampoline));
  if (previous == 0) throw PlatformFailure("the window procedure could not be replaced");
  replaced_procedure = reinterpret_cast<WNDPROC>(previous);
  return static_cast<ProcedureHandle>(previous);
}

MessageResult Win32Platform::CallWindowProc(ProcedureHandle previous, WindowHandle window,
                                            std::uint32_t message, std::uintptr_t w_param,
                                            std::intptr_t l_param) {
  return CallWindowProcW(reinterpret_cast<WNDPROC>(previous), ToHwnd(window), message, w_param,
                         l_param);
}

void Win32Platform::SetTimer(std::uintptr_t id, std::uint32_t milliseconds) {
  if (::SetTimer(controls_.fmTest, id, milliseconds, nullptr) == 0) {
    throw PlatformFailure("the timer could not be set");
  }
}

void Win32Platform::KillTimer(std::uintptr_t id) {
  ::KillTimer(controls_.fmTest, id);
}

bool Win32Platform::SetWindowPos(WindowHandle window, WindowHandle insert_after, int x, int y,
                                 int cx, int cy, std::uint32_t flags) {
  return ::SetWindowPos(ToHwnd(window), ToHwnd(insert_after), x, y, cx, cy, flags);
}

void Win32Platform::ShellExecute(WindowHandle parent, std::u16string_view verb,
                                 std::u16string_view file, std::u16string_view parameters,
                                 std::u16string_view directory, int show_command) {
  ShellExecuteW(ToHwnd(parent), Wide(verb).c_str(), Wide(file).c_str(), Wide(parameters).c_str(),
                Wide(directory).c_str(), show_command);
}

void Win32Platform::MessageBox(std::u16string_view prompt) {
  MessageBoxW(controls_.fmTest, Wide(prompt).c_str(), Wide(kCaption).c_str(), MB_OK);
}

void Win32Platform::OpenInTextEditor(std::u16string_view file) {
  const std::wstring editor = NotepadPath();
  std::wstring command = L"\"" + editor + L"\" \"" + Wide(file) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(editor.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    throw PlatformFailure("the text editor could not be started");
  }
  // Not waited for: the handles are only closed.
  const UniqueHandle process_handle(process.hProcess);
  const UniqueHandle thread_handle(process.hThread);
}

std::u16string Win32Platform::DecodeAnsi(std::string_view bytes) const {
  return DecodeAnsiCodePage(bytes);
}

}  // namespace tesqua::win32
