#include "clipwatch/clipwatch.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "scan/scan.h"

namespace tesqua {

ProcedureHandle lpPrevWndProc = 0;

namespace {

// The platform of the watched window; WindowProc is called by the window system with nothing
// but the window's handle.
Platform* watched_platform = nullptr;

constexpr std::uint32_t kFirstRetryWait = 25;  // milliseconds, doubled at every retry
constexpr std::uint32_t kLongestRetryWait = 1000;
constexpr std::uint32_t kRetryGiveUp = 10000;  // waits since the notice, in total

// Windows delivers sent messages inside clipboard calls, and Qt may run a nested event loop
// while it reads: a notice can arrive in the middle of a scan.
struct NoticeState {
  bool scanning = false;
  bool notice_during_scan = false;  // the clipboard changed under the running scan
  bool retry_pending = false;
  std::uint32_t waited = 0;  // by the retries of the current notice
  std::uint32_t next_wait = kFirstRetryWait;
};
NoticeState notice;

enum class ScanOutcome { kDone, kUnreadable };

// One snapshot of the text per scan: the first read takes it and every entry's read hands it
// out again.
ScanOutcome ScanIntoText1(Platform& platform) {
  if (GetClipFormat(platform) != CF_TEXT) return ScanOutcome::kDone;
  std::shared_ptr<const std::u16string> snapshot;
  bool unreadable = false;
  const auto read = [&platform, &snapshot, &unreadable] {
    if (!snapshot) {
      unreadable = true;
      snapshot = std::make_shared<const std::u16string>(ReadClipboardText(platform));
      unreadable = false;
    }
    return snapshot;
  };
  ScanResult result;
  try {
    result = ScanClipboardText(platform.List1(), SharedClipboardTextReader(read));
  } catch (const PlatformFailure&) {
    if (unreadable) return ScanOutcome::kUnreadable;
    throw;
  }
  // A verdict for content already replaced would only flash: the newer one follows at once.
  if (!notice.notice_during_scan) platform.SetText1(result.verdict);
  return ScanOutcome::kDone;
}

void ScheduleRetry(Platform& platform) {
  const std::uint32_t wait = std::min(notice.next_wait, kRetryGiveUp - notice.waited);
  if (wait == 0) return;  // given up: Text1 keeps its text
  notice.waited += wait;
  notice.next_wait = std::min(notice.next_wait * 2, kLongestRetryWait);
  platform.SetTimer(kClipboardRetryTimer, wait);
  notice.retry_pending = true;
}

// Scans until a scan ends without a notice having come in the meantime, so that the last
// verdict is the clipboard's latest content's.
void ScanLatest(Platform& platform) {
  ScanOutcome outcome = ScanOutcome::kDone;
  bool superseded = false;
  notice.scanning = true;
  do {
    notice.notice_during_scan = false;
    try {
      outcome = ScanIntoText1(platform);
    } catch (...) {
      // Text1 keeps its previous text; the watch must not stay marked as scanning.
      outcome = ScanOutcome::kDone;
    }
    superseded = notice.notice_during_scan;
    if (superseded) notice = NoticeState{.scanning = true};  // the newer notice starts afresh
  } while (superseded);
  notice.scanning = false;
  if (outcome == ScanOutcome::kUnreadable) ScheduleRetry(platform);
}

void OnNotice(Platform& platform) {
  if (notice.scanning) {
    notice.notice_during_scan = true;
    return;
  }
  if (notice.retry_pending) platform.KillTimer(kClipboardRetryTimer);
  notice = NoticeState{};
  ScanLatest(platform);
}

void OnRetryTimer(Platform& platform) {
  // A timer killed after it fired may still have its message queued.
  if (!notice.retry_pending || notice.scanning) return;
  notice.retry_pending = false;
  platform.KillTimer(kClipboardRetryTimer);
  ScanLatest(platform);
}

}  // namespace

int GetClipFormat(Platform& platform) {
  return platform.GetPriorityClipboardFormat(kClipFormatPriority);
}

std::u16string ReadClipboardText(Platform& platform) {
  return platform.ClipboardText();
}

void ClearClipboard(Platform& platform) {
  platform.EmptyClipboard(platform.hWnd());
}

void InstallClipboardWatch(Platform& platform) {
  watched_platform = &platform;
  notice = {};
  platform.AddClipboardFormatListener(platform.hWnd());
  lpPrevWndProc = platform.SetWindowProcedure(platform.hWnd(), &WindowProc);
}

void ShowClipboardText(Platform& platform) {
  if (GetClipFormat(platform) == CF_TEXT) platform.SetText1(ReadClipboardText(platform));
}

MessageResult WindowProc(WindowHandle hwnd, std::uint32_t message, std::uintptr_t w_param,
                         std::intptr_t l_param) {
  Platform& platform = *watched_platform;
  try {
    if (message == WM_CLIPBOARDUPDATE) OnNotice(platform);
    if (message == WM_TIMER && w_param == kClipboardRetryTimer) OnRetryTimer(platform);
  } catch (const std::exception&) {
    // Text1 keeps its previous text; the message still goes on.
  }
  try {
    return platform.CallWindowProc(lpPrevWndProc, hwnd, message, w_param, l_param);
  } catch (const std::exception&) {
    return 0;  // nothing may unwind into the window system
  }
}

void ResetClipboardWatch() {
  watched_platform = nullptr;
  notice = {};
  lpPrevWndProc = 0;
}

}  // namespace tesqua
