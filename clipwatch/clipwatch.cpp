#include "clipwatch/clipwatch.h"

#include <exception>
#include <memory>

#include "scan/scan.h"

namespace tesqua {

ProcedureHandle lpPrevWndProc = 0;
WindowHandle hNextViewer = 0;

namespace {

// The platform of the watched window; WindowProc is called by the window system with nothing
// but the window's handle.
Platform* watched_platform = nullptr;

// The text last read, and the clipboard's sequence number when it was read: the scan reads
// the clipboard once per library entry, and while the number stays the same the text does.
struct ClipboardTextCache {
  const Platform* platform = nullptr;
  std::uint64_t sequence = 0;
  std::shared_ptr<const std::u16string> text;
};
ClipboardTextCache clipboard_cache;

std::shared_ptr<const std::u16string> SharedClipboardText(Platform& platform) {
  const std::uint64_t sequence = platform.ClipboardSequenceNumber();
  // 0 is what Windows answers when it cannot tell; such a read is never reused.
  if (clipboard_cache.text && clipboard_cache.platform == &platform && sequence != 0 &&
      clipboard_cache.sequence == sequence) {
    return clipboard_cache.text;
  }
  auto text = std::make_shared<const std::u16string>(platform.ClipboardText());
  clipboard_cache = ClipboardTextCache{&platform, sequence, text};
  return text;
}

void ScanIntoText1(Platform& platform) {
  if (GetClipFormat(platform) != CF_TEXT) return;
  const ScanResult result = ScanClipboardText(
      platform.List1(),
      SharedClipboardTextReader([&platform] { return SharedClipboardText(platform); }));
  platform.SetText1(result.verdict);
}

void PassToNextViewer(Platform& platform, WindowHandle self, std::uint32_t message,
                      std::uintptr_t w_param, std::intptr_t l_param) {
  if (hNextViewer != 0 && hNextViewer != self) {
    platform.SendMessage(hNextViewer, message, w_param, l_param);
  }
}

// What a viewer owes the others: every notice goes on to the next viewer, the chain is mended
// when a window leaves it, and the window leaves it itself before it is destroyed.
void KeepViewerChain(Platform& platform, WindowHandle hwnd, std::uint32_t message,
                     std::uintptr_t w_param, std::intptr_t l_param) {
  switch (message) {
    case WM_DRAWCLIPBOARD:
      PassToNextViewer(platform, hwnd, message, w_param, l_param);
      break;
    case WM_CHANGECBCHAIN:
      if (WindowHandle(w_param) == hNextViewer) {
        hNextViewer = WindowHandle(l_param);
      } else {
        PassToNextViewer(platform, hwnd, message, w_param, l_param);
      }
      break;
    case WM_DESTROY:
      platform.ChangeClipboardChain(hwnd, hNextViewer);
      break;
    default:
      break;
  }
}

}  // namespace

int GetClipFormat(Platform& platform) {
  return platform.GetPriorityClipboardFormat(kClipFormatPriority);
}

std::u16string ReadClipboardText(Platform& platform) {
  return *SharedClipboardText(platform);
}

void ClearClipboard(Platform& platform) {
  platform.EmptyClipboard(platform.hWnd());
}

void InstallClipboardWatch(Platform& platform) {
  watched_platform = &platform;
  clipboard_cache = {};
  hNextViewer = platform.SetClipboardViewer(platform.hWnd());
  lpPrevWndProc = platform.SetWindowProcedure(platform.hWnd(), &WindowProc);
}

void ShowClipboardText(Platform& platform) {
  if (GetClipFormat(platform) == CF_TEXT) platform.SetText1(ReadClipboardText(platform));
}

MessageResult WindowProc(WindowHandle hwnd, std::uint32_t message, std::uintptr_t w_param,
                         std::intptr_t l_param) {
  Platform& platform = *watched_platform;
  if (message == WM_DRAWCLIPBOARD) {
    try {
      ScanIntoText1(platform);
    } catch (const std::exception&) {
      // Text1 keeps its previous text; the notice still goes on.
    }
  }
  try {
    KeepViewerChain(platform, hwnd, message, w_param, l_param);
  } catch (const std::exception&) {
    // The chain is the other viewers' business as much as ours; the message still goes on.
  }
  try {
    return platform.CallWindowProc(lpPrevWndProc, hwnd, message, w_param, l_param);
  } catch (const std::exception&) {
    return 0;  // nothing may unwind into the window system
  }
}

void ResetClipboardWatch() {
  watched_platform = nullptr;
  clipboard_cache = {};
  lpPrevWndProc = 0;
  hNextViewer = 0;
}

}  // namespace tesqua
