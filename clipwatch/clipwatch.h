// The clipboard watch: the window becomes a clipboard format listener, its procedure is
// replaced by WindowProc, and each change that brings text is scanned into Text1.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tesqua {

inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_TIMER = 0x0113;
// The clipboard-change notice, which the system sends to each format listener itself.
inline constexpr std::uint32_t WM_CLIPBOARDUPDATE = 0x031D;
inline constexpr int GWL_WNDPROC = -4;
inline constexpr int CF_TEXT = 1;
// The window's timer that reads a clipboard again which another program held at the notice.
inline constexpr std::uintptr_t kClipboardRetryTimer = 0x7E51;

// The formats GetClipFormat asks about, in order: the standard ones 1 to 17, then the
// owner-display and private-display ones. CF_TEXT heads the list, so the answer is 1 exactly
// when the clipboard offers text.
inline constexpr std::array<std::uint32_t, 22> kClipFormatPriority = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 128, 129, 130, 131, 142};

// The procedure WindowProc replaced; set once, by InstallClipboardWatch, for the life of the
// window.
extern ProcedureHandle lpPrevWndProc;

int GetClipFormat(Platform& platform);
std::u16string ReadClipboardText(Platform& platform);
void ClearClipboard(Platform& platform);
// Registers the window for the clipboard notice first, then replaces the window's procedure: a
// notice that arrives between the two goes to the window's own procedure and starts no scan.
// The window never joins the clipboard-viewer chain, where another viewer that passes nothing
// on would silence it for good, and so it costs no other viewer a notice either.
void InstallClipboardWatch(Platform& platform);
void ShowClipboardText(Platform& platform);

// The replacement window procedure: scans on each clipboard-change notice that finds text, and
// passes every message on to the previous procedure, returning its result.
// Each scan searches every entry in one snapshot of the text, read once. A notice that arrives
// while a scan runs is not scanned inside it: the scan reads the clipboard again when it ends.
// A clipboard that cannot be opened or read is tried again from the message loop, after
// growing waits, until it is read or the waits since the notice add up to 10 s; a newer notice
// starts afresh. Until then Text1 keeps its text.
MessageResult WindowProc(WindowHandle hwnd, std::uint32_t message, std::uintptr_t w_param,
                         std::intptr_t l_param);

// Forgets the installed watch, so that a new window can be watched (used by tests and when a
// backend tears its window down).
void ResetClipboardWatch();

}  // namespace tesqua
