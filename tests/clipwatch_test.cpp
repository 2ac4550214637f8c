#include "clipwatch/clipwatch.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(platform.own_procedure_messages, std::vector<std::uint32_t>{WM_DRAWCLIPBOARD});
    ASSERT_EQ(platform.sent.size(), 1u) << c.failing;  // the next viewer still hears of it
    // The trap holds for one notice: the next one scans again.
    platform.failing.clear();
    if (c.empty_library) platform.list1.AddItem(u"DVOL", 0);
    platform.Deliver(WM_DRAWCLIPBOARD);
    EXPECT_EQ(platform.text1, WarningLine(u"DVOL")) << c.failing;
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
