// The clipboard text is read from the system once per change, however many entries the scan
// reads it for.
#include <gtest/gtest.h>

#include "clipwatch/clipwatch.h"
#include "scan/scan.h"
#include "tests/fake_platform.h"

namespace tesqua {
namespace {

using testing::FakePlatform;

class ClipboardCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetClipboardWatch();
    for (const char16_t* entry : {u"$ZIG", u"$PEAK", u"DVOL", u"CAPITAL", u"DLOW"}) {
      platform_.list1.AddItem(entry, platform_.list1.ListCount());
    }
    InstallClipboardWatch(platform_);
  }
  void TearDown() override { ResetClipboardWatch(); }

  FakePlatform platform_;
};

TEST_F(ClipboardCacheTest, OneRealReadPerNoticeAndAFreshReadAfterAChange) {
  platform_.Copy(u"A:=ZIG(C,5);");
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.clipboard_reads, 1);
  EXPECT_EQ(platform_.text1, WarningLine(u"ZIG"));
  EXPECT_EQ(platform_.list1.selections, (std::vector<int>{0, 1, 2, 3, 4, -1}));

  platform_.Copy(u"B:=dlow+capital;");
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.clipboard_reads, 2);
  EXPECT_EQ(platform_.text1, WarningLine(u"CAPITAL") + WarningLine(u"DLOW"));
}

TEST_F(ClipboardCacheTest, ANoticeWithoutAChangeReadsNothingAgain) {
  platform_.Copy(u"DVOL");
  platform_.Deliver(WM_DRAWCLIPBOARD);
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.clipboard_reads, 1);
  EXPECT_EQ(platform_.text1, WarningLine(u"DVOL"));
}

TEST_F(ClipboardCacheTest, EmptyingTheClipboardIsAChange) {
  platform_.Copy(u"DVOL");
  EXPECT_EQ(ReadClipboardText(platform_), u"DVOL");
  ClearClipboard(platform_);
  EXPECT_EQ(ReadClipboardText(platform_), u"");
  EXPECT_EQ(platform_.clipboard_reads, 2);
}

TEST_F(ClipboardCacheTest, AFailedReadIsNotRemembered) {
  platform_.Copy(u"DVOL");
  platform_.failing = {"ClipboardText"};
  EXPECT_THROW(ReadClipboardText(platform_), PlatformFailure);
  platform_.failing.clear();
  EXPECT_EQ(ReadClipboardText(platform_), u"DVOL");
}

TEST_F(ClipboardCacheTest, AnotherWindowNeverSeesTheLastWindowsText) {
  platform_.Copy(u"DVOL");
  EXPECT_EQ(ReadClipboardText(platform_), u"DVOL");
  FakePlatform other;  // its own clipboard, at the same sequence number
  other.clipboard_sequence = platform_.clipboard_sequence;
  other.clipboard_text = u"ZIG(";
  EXPECT_EQ(ReadClipboardText(other), u"ZIG(");
  ResetClipboardWatch();
  platform_.clipboard_text = u"changed behind the number's back";
  EXPECT_EQ(ReadClipboardText(platform_), u"changed behind the number's back");
}

TEST_F(ClipboardCacheTest, SequenceNumberZeroIsNeverTrusted) {
  platform_.Copy(u"DVOL");
  platform_.clipboard_sequence = 0;
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.clipboard_reads, 5);  // one per entry, as without a cache
  EXPECT_EQ(platform_.text1, WarningLine(u"DVOL"));
}

}  // namespace
}  // namespace tesqua
