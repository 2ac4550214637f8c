// Everything the window logic needs from a forms runtime and a window system. The Win32 and
// Qt backends implement it for real; the unit tests implement it in memory.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tesqua {

// The one failure type: a platform operation that could not do its work throws it.
class PlatformFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using WindowHandle = std::uintptr_t;     // 0 means none
using ProcedureHandle = std::uintptr_t;  // a window procedure as the window system knows it
using MessageResult = std::intptr_t;
using WindowProcedure = MessageResult (*)(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t w_param, std::intptr_t l_param);

// Insert-after values and flags of SetWindowPos.
inline constexpr WindowHandle kHwndTopmost = static_cast<WindowHandle>(-1);
inline constexpr WindowHandle kHwndNotopmost = static_cast<WindowHandle>(-2);
inline constexpr std::uint32_t kSwpNoSize = 0x0001;
inline constexpr std::uint32_t kSwpNoMove = 0x0002;

// A list box as the library and the scan use it.
class ListBox {
 public:
  virtual ~ListBox() = default;
  // Inserts the item at index, 0 to ListCount(); any other index throws.
  virtual void AddItem(std::u16string_view item, int index) = 0;
  virtual int ListCount() const = 0;
  // The item's text; an index outside 0 to ListCount() - 1 throws.
  virtual std::u16string List(int index) const = 0;
  // The selected index, -1 for none.
  virtual int ListIndex() const = 0;
  // -1 clears the selection; any other index outside 0 to ListCount() - 1 throws.
  virtual void SetListIndex(int index) = 0;
};

struct Size {
  double width = 0;
  double height = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The window fmTest and its controls.
  virtual WindowHandle hWnd() const = 0;
  virtual Size OuterSize() const = 0;  // the window with its frame, in pixels
  virtual Size ScreenSize() const = 0;
  virtual void MoveWindow(double left, double top) = 0;  // outer top-left corner, in pixels
  virtual void SetText1(std::u16string_view text) = 0;   // replaces the whole text
  virtual ListBox& List1() = 0;
  virtual int Check1Value() const = 0;  // 0 unchecked, 1 checked

  // The clipboard.
  // The first format of the list that the clipboard offers; 0 when it is empty, -1 when it
  // offers none of them.
  virtual int GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) = 0;
  // The clipboard's current content as plain text, empty when it holds no text. Throws when
  // the clipboard cannot be opened (another program holds it) or read; never waits for it.
  virtual std::u16string ClipboardText() = 0;
  // Opens the clipboard for owner, empties it and closes it again.
  virtual bool EmptyClipboard(WindowHandle owner) = 0;

  // The clipboard notice and the window procedure.
  // From now on the system itself sends the window WM_CLIPBOARDUPDATE (0x031D) on every change
  // of the clipboard's content, whatever other programs do; false when it cannot.
  virtual bool AddClipboardFormatListener(WindowHandle window) = 0;
  // Makes procedure the window's procedure; returns the one it replaced.
  virtual ProcedureHandle SetWindowProcedure(WindowHandle window, WindowProcedure procedure) = 0;
  virtual MessageResult CallWindowProc(ProcedureHandle previous, WindowHandle window,
                                       std::uint32_t message, std::uintptr_t w_param,
                                       std::intptr_t l_param) = 0;
  // A timer of the window: after milliseconds, and again every milliseconds until it is
  // killed, the window's procedure gets WM_TIMER (0x0113) with id as w_param, from the message
  // loop. Setting an id that runs restarts it.
  virtual void SetTimer(std::uintptr_t id, std::uint32_t milliseconds) = 0;
  virtual void KillTimer(std::uintptr_t id) = 0;

  // Window placement, the shell, dialogs and programs.
  virtual bool SetWindowPos(WindowHandle window, WindowHandle insert_after, int x, int y, int cx,
                            int cy, std::uint32_t flags) = 0;
  virtual void ShellExecute(WindowHandle parent, std::u16string_view verb, std::u16string_view file,
                            std::u16string_view parameters, std::u16string_view directory,
                            int show_command) = 0;
  // Modal, OK button only, titled with the window's caption; returns when it is closed.
  virtual void MessageBox(std::u16string_view prompt) = 0;
  // Starts the system's text editor on file in a normal, focused window and returns at once;
  // throws when no editor can be started.
  virtual void OpenInTextEditor(std::u16string_view file) = 0;

  // Text in the system's ANSI code page (GBK where the system has none of its own).
  virtual std::u16string DecodeAnsi(std::string_view bytes) const = 0;
};

// The system's ANSI code page, for programs without a window (the command-line scanner).
std::u16string DecodeAnsiCodePage(std::string_view bytes);
// Whether that code page is GBK (936), whose bytes the scanner can search undecoded.
bool AnsiCodePageIsGbk();
// Whether a byte begins a two-byte character in the system's ANSI code page.
bool IsAnsiLeadByte(unsigned char byte);

}  // namespace tesqua
