#include "clipwatch/clipwatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "scan/scan.h"
#include "tests/fake_platform.h"

namespace tesqua {
namespace {

using testing::FakePlatform;
using testing::kFakeOwnProcedure;
using testing::kFakeWindow;

constexpr WindowHandle kNextViewer = 0x3000;
constexpr std::uint32_t kCfUnicodeText = 13;
constexpr std::uint32_t kCfBitmap = 2;
constexpr std::uint32_t kCfDib = 8;

class ClipwatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetClipboardWatch();
    platform_.next_viewer = kNextViewer;
    for (const char16_t* entry : {u"$ZIG", u"DVOL"}) {
      platform_.list1.AddItem(entry, platform_.list1.ListCount());
    }
    platform_.text1 = u"before";
    InstallClipboardWatch(platform_);
    platform_.calls.clear();
  }
  void TearDown() override { ResetClipboardWatch(); }

  void Copy(std::u16string text, std::vector<std::uint32_t> formats = {1, kCfUnicodeText}) {
    platform_.Copy(std::move(text), std::move(formats));
  }

  FakePlatform platform_;
};

TEST_F(ClipwatchTest, InstallJoinsTheChainBeforeReplacingTheProcedure) {
  FakePlatform fresh;
  fresh.next_viewer = kNextViewer;
  InstallClipboardWatch(fresh);
  EXPECT_EQ(fresh.calls, (std::vector<std::string>{"SetClipboardViewer", "SetWindowProcedure"}));
  EXPECT_EQ(hNextViewer, kNextViewer);
  EXPECT_EQ(lpPrevWndProc, kFakeOwnProcedure);
}

TEST_F(ClipwatchTest, CopiedTextIsScannedIntoText1) {
  Copy(u"X:=ZIG(C,5)+DVOL;");
  EXPECT_EQ(platform_.Deliver(WM_DRAWCLIPBOARD), platform_.own_procedure_result);
  EXPECT_EQ(platform_.text1, WarningLine(u"ZIG") + WarningLine(u"DVOL"));
  EXPECT_EQ(platform_.clipboard_reads, 1);  // once per notice: the entries share the read
  Copy(u"MA(C,5)");
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.text1, kNoHitVerdict);
}

TEST_F(ClipwatchTest, NoticesWithoutTextLeaveText1) {
  const std::vector<std::vector<std::uint32_t>> offers = {
      {kCfBitmap, kCfDib},  // a picture
      {},                   // emptied by another program
      {0xC123},             // only a private format
  };
  for (const auto& formats : offers) {
    Copy(u"ZIG(", formats);
    platform_.calls.clear();
    EXPECT_EQ(platform_.Deliver(WM_DRAWCLIPBOARD), platform_.own_procedure_result);
    EXPECT_EQ(platform_.text1, u"before");
    EXPECT_EQ(platform_.clipboard_reads, 0);
    EXPECT_EQ(platform_.calls.front(), "GetPriorityClipboardFormat");
  }
}

TEST_F(ClipwatchTest, TextAmongOtherFormatsIsScanned) {
  Copy(u"dvol", {0xC0DE, 1, kCfUnicodeText, 7, 16});  // rich text first, then the text forms
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.text1, WarningLine(u"DVOL"));
}

TEST_F(ClipwatchTest, FailuresLeaveText1AndStillPassTheNoticeOn) {
  struct Case {
    const char* failing;
    bool empty_library;
  };
  for (const Case c : {Case{"GetPriorityClipboardFormat", false}, Case{"ClipboardText", false},
                       Case{"SetText1", false}, Case{"", true}}) {
    FakePlatform platform;
    ResetClipboardWatch();
    platform.next_viewer = kNextViewer;
    if (!c.empty_library) platform.list1.AddItem(u"DVOL", 0);
    platform.text1 = u"before";
    InstallClipboardWatch(platform);
    platform.Copy(u"DVOL", {1});
    platform.failing = {c.failing};
    EXPECT_EQ(platform.Deliver(WM_DRAWCLIPBOARD), platform.own_procedure_result) << c.failing;
    EXPECT_EQ(platform.text1, u"before") << c.failing;
    // Only a clipboard that cannot be read is worth reading again later.
    EXPECT_EQ(platform.timers.contains(kClipboardRetryTimer),
              std::string(c.failing) == "ClipboardText")
        << c.failing;
    EXPECT_EQ(platform.own_procedure_messages, std::vector<std::uint32_t>{WM_DRAWCLIPBOARD});
    ASSERT_EQ(platform.sent.size(), 1u) << c.failing;  // the next viewer still hears of it
    // The trap holds for one notice: the next one scans again.
    platform.failing.clear();
    if (c.empty_library) platform.list1.AddItem(u"DVOL", 0);
    platform.Deliver(WM_DRAWCLIPBOARD);
    EXPECT_EQ(platform.text1, WarningLine(u"DVOL")) << c.failing;
  }
}

// A clipboard held by another program is read again after growing waits that add up to
// 10 s from the notice; a newer notice starts afresh, and stale timer messages do nothing.
TEST_F(ClipwatchTest, AHeldClipboardIsReadAgainLaterUntilTenSecondsHavePassed) {
  // Fires the retry timer until it stops or the clipboard is released after `held` reads;
  // returns the waits asked for.
  const auto run_retries = [this](int held) {
    std::vector<std::uint32_t> waits;
    while (platform_.timers.contains(kClipboardRetryTimer) && waits.size() < 1000) {
      waits.push_back(platform_.timers[kClipboardRetryTimer]);
      if (platform_.clipboard_reads >= held) platform_.failing.clear();
      EXPECT_EQ(platform_.Deliver(WM_TIMER, kClipboardRetryTimer), platform_.own_procedure_result);
    }
    return waits;
  };
  const auto total = [](const std::vector<std::uint32_t>& waits) {
    return std::accumulate(waits.begin(), waits.end(), std::uint32_t{0});
  };
  Copy(u"dvol");
  platform_.failing = {"ClipboardText"};
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.text1, u"before");
  std::vector<std::uint32_t> waits = run_retries(1000);
  EXPECT_EQ(total(waits), 10000u);
  EXPECT_LE(waits.front(), 100u);
  EXPECT_TRUE(std::is_sorted(waits.begin(), waits.end() - 1)) << "the waits grow";
  EXPECT_EQ(platform_.text1, u"before");  // given up
  EXPECT_EQ(platform_.clipboard_reads, int(waits.size()) + 1);

  // Released after the fourth read: the verdict comes then, and no timer is left.
  platform_.clipboard_reads = 0;
  platform_.failing = {"ClipboardText"};
  platform_.Deliver(WM_DRAWCLIPBOARD);
  waits = run_retries(3);
  EXPECT_EQ(waits.size(), 3u);
  EXPECT_EQ(platform_.text1, WarningLine(u"DVOL"));

  // A newer notice while a retry waits: its own 10 s, and the old timer's message is ignored.
  platform_.text1 = u"before";
  platform_.failing = {"ClipboardText"};
  platform_.Deliver(WM_DRAWCLIPBOARD);
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer);
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer);
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(total(run_retries(1000)), 10000u);
  platform_.failing.clear();
  platform_.clipboard_reads = 0;
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer);
  EXPECT_EQ(platform_.clipboard_reads, 0);
  EXPECT_EQ(platform_.text1, u"before");
}

// Windows delivers sent messages inside clipboard calls: a notice may arrive mid-scan.
TEST_F(ClipwatchTest, EveryEntryIsSearchedInOneSnapshotAndANoticeMidScanIsScannedAfterIt) {
  struct Case {
    const char* what;
    bool notice;  // whether the change mid-scan brings its notice then
    const char16_t* verdict;
    int reads;
  };
  for (const Case c : {Case{"a change without its notice yet", false, u"ZIG", 1},
                       Case{"a change and its notice", true, u"DVOL", 2}}) {
    Copy(u"ZIG(1)");
    platform_.clipboard_reads = 0;
    platform_.own_procedure_messages.clear();
    platform_.during_read = [this, c] {
      if (platform_.clipboard_reads != 1) return;
      Copy(u"DVOL");
      if (c.notice) platform_.Deliver(WM_DRAWCLIPBOARD);
    };
    platform_.Deliver(WM_DRAWCLIPBOARD);
    EXPECT_EQ(platform_.text1, WarningLine(c.verdict)) << c.what;
    EXPECT_EQ(platform_.clipboard_reads, c.reads) << c.what;
    EXPECT_EQ(platform_.own_procedure_messages.size(), c.notice ? 2u : 1u) << c.what;
  }
}

TEST_F(ClipwatchTest, OtherMessagesPassStraightThroughWithoutTouchingTheClipboard) {
  for (const std::uint32_t message : {0x0001u, 0x000Fu, 0x0111u, 0x0400u}) {
    platform_.calls.clear();
    EXPECT_EQ(platform_.Deliver(message, 7, 9), platform_.own_procedure_result);
    EXPECT_EQ(platform_.calls, std::vector<std::string>{"CallWindowProc"});
  }
  EXPECT_TRUE(platform_.sent.empty());
}

TEST_F(ClipwatchTest, NoticesGoOnToTheNextViewerAfterTheScan) {
  Copy(u"dvol");
  platform_.Deliver(WM_DRAWCLIPBOARD, 5, 6);
  ASSERT_EQ(platform_.sent.size(), 1u);
  EXPECT_EQ(platform_.sent[0].to, kNextViewer);
  EXPECT_EQ(platform_.sent[0].message, WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.sent[0].w_param, 5u);
  EXPECT_EQ(platform_.sent[0].l_param, 6);
  EXPECT_EQ(platform_.calls.back(), "CallWindowProc");
}

TEST_F(ClipwatchTest, TheChainIsMendedWhenAViewerLeaves) {
  constexpr WindowHandle kOther = 0x4000, kAfterNext = 0x5000;
  // Another window leaves: the notice goes on down the chain.
  platform_.Deliver(WM_CHANGECBCHAIN, kOther, intptr_t(kAfterNext));
  ASSERT_EQ(platform_.sent.size(), 1u);
  EXPECT_EQ(platform_.sent[0].to, kNextViewer);
  EXPECT_EQ(hNextViewer, kNextViewer);
  // Our next viewer leaves: the one after it becomes our next.
  platform_.Deliver(WM_CHANGECBCHAIN, kNextViewer, intptr_t(kAfterNext));
  EXPECT_EQ(hNextViewer, kAfterNext);
  EXPECT_EQ(platform_.sent.size(), 1u);
  Copy(u"x");
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.sent.back().to, kAfterNext);
  // The last viewer leaves: nothing is forwarded any more.
  platform_.Deliver(WM_CHANGECBCHAIN, kAfterNext, 0);
  const std::size_t sent = platform_.sent.size();
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.sent.size(), sent);
  EXPECT_EQ(platform_.own_procedure_messages.size(), 5u);  // every message went on as well
}

TEST_F(ClipwatchTest, TheWindowNeverForwardsToItself) {
  ResetClipboardWatch();
  FakePlatform platform;
  platform.next_viewer = kFakeWindow;
  InstallClipboardWatch(platform);
  platform.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_TRUE(platform.sent.empty());
}

TEST_F(ClipwatchTest, TheWindowLeavesTheChainFirstWhenDestroyed) {
  platform_.Deliver(WM_DESTROY);
  EXPECT_EQ(platform_.calls, (std::vector<std::string>{"ChangeClipboardChain", "CallWindowProc"}));
  EXPECT_EQ(platform_.chain_changes,
            (std::vector<std::pair<WindowHandle, WindowHandle>>{{kFakeWindow, kNextViewer}}));
}

TEST_F(ClipwatchTest, AFailingPreviousProcedureDoesNotUnwindIntoTheWindowSystem) {
  platform_.failing = {"CallWindowProc"};
  EXPECT_EQ(platform_.Deliver(0x000F), 0);
}

TEST_F(ClipwatchTest, ShowClipboardTextShowsTextUnscanned) {
  Copy(u"ZIG(1)");
  ShowClipboardText(platform_);
  EXPECT_EQ(platform_.text1, u"ZIG(1)");
  Copy(u"DVOL", {kCfBitmap});
  ShowClipboardText(platform_);
  EXPECT_EQ(platform_.text1, u"ZIG(1)");
}

TEST_F(ClipwatchTest, ClearClipboardEmptiesItForTheWindow) {
  Copy(u"ZIG(1)");
  ClearClipboard(platform_);
  EXPECT_TRUE(platform_.clipboard_formats.empty());
  EXPECT_EQ(GetClipFormat(platform_), 0);
}

}  // namespace
}  // namespace tesqua
