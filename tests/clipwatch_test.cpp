#include "clipwatch/clipwatch.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"

namespace tesqua {
namespace {

using testing::FakePlatform;
using testing::kOwnResult;

constexpr std::u16string_view kZig = u"\r\n注意：发现未来函数ZIG！";
constexpr std::u16string_view kDvol = u"\r\n注意：发现未来函数DVOL！";

class ClipwatchTest : public ::testing::Test {
 protected:
  void SetUp() override { Start({u"$ZIG", u"DVOL"}); }
  void TearDown() override { ResetClipboardWatch(); }

  void Start(const std::vector<std::u16string>& library, std::function<void()> on_listen = {}) {
    ResetClipboardWatch();
    platform_ = FakePlatform{};
    platform_.on_listen = std::move(on_listen);
    for (const auto& entry : library) platform_.list1.AddItem(entry, platform_.list1.ListCount());
    platform_.text1 = u"before";
    InstallClipboardWatch(platform_);
  }

  FakePlatform platform_;
};

// A failure leaves Text1 as it was, for that notice only.
TEST_F(ClipwatchTest, EachNoticeScansTheClipboardsTextAndPassesTheNoticeOn) {
  struct Case {
    std::vector<std::uint32_t> formats;
    std::u16string text;
    std::string failing;
    std::u16string text1;
  };
  // clang-format off
  const Case cases[] = {
      {{1, 13}, u"X:=ZIG(C,5)+DVOL;", "", std::u16string(kZig) + std::u16string(kDvol)},
      {{1, 13}, u"MA(C,5)", "", u"没有发现未来函数！"},
      {{0xC0DE, 1, 13, 7, 16}, u"dvol", "", std::u16string(kDvol)},  // rich text first
      {{2, 8}, u"ZIG(", "", u"before"},                                // a picture
      {{}, u"", "", u"before"},                                        // emptied by another program
      {{1, 13}, u"ZIG(", "GetPriorityClipboardFormat", u"before"},
      {{1, 13}, u"ZIG(", "ClipboardText", u"before"},  // read again later: see below
      {{1, 13}, u"ZIG(", "SetText1", u"before"},
      {{1, 13}, u"ZIG(", "an empty library", u"before"},  // which fails, but not the clipboard
  };
  // clang-format on
  for (const Case& c : cases) {
    const bool empty = c.failing == "an empty library";
    Start(empty ? std::vector<std::u16string>{} : std::vector<std::u16string>{u"$ZIG", u"DVOL"});
    platform_.Copy(c.text, c.formats);
    platform_.failing = {c.failing};
    EXPECT_TRUE(platform_.listening);
    EXPECT_EQ(platform_.Deliver(WM_CLIPBOARDUPDATE, 5, 6), kOwnResult);
    EXPECT_EQ(platform_.text1, c.text1) << c.failing;
    EXPECT_EQ(platform_.timers.contains(kClipboardRetryTimer), c.failing == "ClipboardText");
    EXPECT_EQ(platform_.own_procedure_messages, std::vector<std::uint32_t>{WM_CLIPBOARDUPDATE});
    platform_.failing.clear();
    if (empty) platform_.list1.AddItem(u"DVOL", 0);
    platform_.Copy(u"dvol");
    platform_.Deliver(WM_CLIPBOARDUPDATE);
    EXPECT_EQ(platform_.text1, kDvol) << c.failing;
  }
}

// A clipboard held by another program is read again after waits of 25 ms doubling up to 1 s,
// until 10 s have passed since the notice; a newer notice starts afresh.
TEST_F(ClipwatchTest, AHeldClipboardIsReadAgainLaterUntilTenSecondsHavePassed) {
  // Fires the retry timer until it stops, the clipboard released after `held` reads.
  const auto retry = [this](int held) {
    std::vector<std::uint32_t> waits;
    while (platform_.timers.contains(kClipboardRetryTimer) && waits.size() < 100) {
      waits.push_back(platform_.timers[kClipboardRetryTimer]);
      if (platform_.clipboard_reads >= held) platform_.failing.clear();
      EXPECT_EQ(platform_.Deliver(WM_TIMER, kClipboardRetryTimer), kOwnResult);
    }
    return waits;
  };
  const std::vector<std::uint32_t> ten_seconds = {25,   50,   100,  200,  400,  800,  1000, 1000,
                                                  1000, 1000, 1000, 1000, 1000, 1000, 425};
  platform_.Copy(u"dvol");
  platform_.failing = {"ClipboardText"};
  platform_.Deliver(WM_CLIPBOARDUPDATE);
  EXPECT_EQ(retry(1000), ten_seconds);
  EXPECT_EQ(platform_.text1, u"before");  // given up
  EXPECT_EQ(platform_.clipboard_reads, 16);

  // Released after the fourth read.
  platform_.clipboard_reads = 0;
  platform_.failing = {"ClipboardText"};
  platform_.Deliver(WM_CLIPBOARDUPDATE);
  EXPECT_EQ(retry(3), (std::vector<std::uint32_t>{25, 50, 100}));
  EXPECT_EQ(platform_.text1, kDvol);

  // A newer notice while a retry waits: its own 10 s; the old timer's queued message is ignored.
  platform_.text1 = u"before";
  platform_.failing = {"ClipboardText"};
  platform_.Deliver(WM_CLIPBOARDUPDATE);
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer);
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer);
  platform_.Deliver(WM_CLIPBOARDUPDATE);
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer + 1);  // another timer's: no read
  EXPECT_EQ(retry(1000), ten_seconds);
  platform_.failing.clear();
  platform_.clipboard_reads = 0;
  platform_.Deliver(WM_TIMER, kClipboardRetryTimer);
  EXPECT_EQ(platform_.clipboard_reads, 0);
  EXPECT_EQ(platform_.text1, u"before");
}

// Only a failed read means the clipboard is held: the library failing after a good read
// waits for no retry.
TEST_F(ClipwatchTest, AFailureAfterAGoodReadIsNotRetried) {
  Start({u"$ZIG", u"DVOL"});
  platform_.Copy(u"ZIG(");
  platform_.during_read = [this] { platform_.list1 = testing::FakeListBox{}; };
  platform_.Deliver(WM_CLIPBOARDUPDATE);
  EXPECT_EQ(platform_.clipboard_reads, 1);
  EXPECT_EQ(platform_.text1, u"before");
  EXPECT_FALSE(platform_.timers.contains(kClipboardRetryTimer));
}

// Windows delivers sent messages inside clipboard calls: a notice may arrive mid-scan.
TEST_F(ClipwatchTest, EveryEntryIsSearchedInOneSnapshotAndANoticeMidScanIsScannedAfterIt) {
  for (const bool notice : {false, true}) {  // whether the change mid-scan brings its notice
    Start({u"$ZIG", u"DVOL"});
    platform_.Copy(u"ZIG(1)");
    platform_.during_read = [this, notice] {
      if (platform_.clipboard_reads != 1) return;
      platform_.Copy(u"DVOL");
      if (notice) platform_.Deliver(WM_CLIPBOARDUPDATE);
    };
    platform_.Deliver(WM_CLIPBOARDUPDATE);
    EXPECT_EQ(platform_.text1, notice ? kDvol : kZig);
    EXPECT_EQ(platform_.clipboard_reads, notice ? 2 : 1);
    EXPECT_EQ(platform_.own_procedure_messages.size(), notice ? 2u : 1u);
  }
}

TEST_F(ClipwatchTest, ANoticeIsTheClipboardUpdateOnceTheProcedureIsReplaced) {
  // Listening comes first: a change before the procedure is replaced is not scanned.
  Start({u"DVOL"}, [this] { platform_.Copy(u"DVOL"), platform_.ClipboardChanged(); });
  EXPECT_EQ(platform_.own_procedure_messages, std::vector<std::uint32_t>{WM_CLIPBOARDUPDATE});
  // The window is no clipboard viewer: the viewer chain's messages, which a program may still
  // send it, scan nothing and go on like any other message.
  platform_.Copy(u"ZIG(1)");
  for (const std::uint32_t message : {0x0308u, 0x030Du, 0x000Fu, WM_DESTROY}) {
    EXPECT_EQ(platform_.Deliver(message, 7, 9), kOwnResult);
    EXPECT_EQ(platform_.own_procedure_messages.back(), message);
  }
  EXPECT_EQ(platform_.text1, u"before");
  EXPECT_EQ(platform_.clipboard_reads, 0);
  platform_.failing = {"CallWindowProc"};
  EXPECT_EQ(platform_.Deliver(0x000F), 0);  // nothing unwinds into the window system
}

}  // namespace
}  // namespace tesqua
