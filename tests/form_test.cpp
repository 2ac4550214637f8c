#include "ui/form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "clipwatch/clipwatch.h"
#include "scan/library.h"
#include "scan/scan.h"
#include "tests/fake_platform.h"
#include "tests/temp_dir.h"
#include "ui/layout.h"

namespace tesqua {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetClipboardWatch(); }
  void TearDown() override { ResetClipboardWatch(); }

  TempDir dir_;
  FakePlatform platform_;
};

const std::vector<std::string> kLoadCalls = {
    "EmptyClipboard", "SetWindowPos",       "ScreenSize",         "OuterSize",
    "MoveWindow",     "SetClipboardViewer", "SetWindowProcedure", "GetPriorityClipboardFormat"};

const std::vector<std::u16string> kDefaults = {
    u"$ZIG",      u"$PEAK",   u"$PEAKBARS",  u"$TROUGH",  u"$TROUGHBARS", u"$FLATZIG",
    u"$FLATZIGA", u"$PEAKA",  u"$PEAKBARSA", u"$TROUGHA", u"$ZIGA",       u"$FFT",
    u"$BACKSET",  u"$WINNER", u"$LWINNER",   u"$COST",    u"$DYNAINFO",   u"$FINANCE",
    u"$DRAWLINE", u"#YEAR",   u"#MONTH",     u"#WEEK",    u"CAPITAL",     u"DCLOSE",
    u"DOPEN",     u"DLOW",    u"DVOL"};

TEST_F(FormTest, LoadRunsItsStepsInOrder) {
  platform_.Copy(u"held before the start");
  platform_.text1 = Instructions();
  Form_Load(platform_);
  EXPECT_EQ(platform_.calls, kLoadCalls);
  EXPECT_EQ(platform_.list1.items(), kDefaults);
  EXPECT_EQ(platform_.insert_after, std::vector<WindowHandle>{kHwndTopmost});
  // The clipboard was emptied first, so the instructions stay.
  EXPECT_EQ(platform_.text1, Instructions());
  EXPECT_EQ(platform_.clipboard_reads, 0);
}

TEST_F(FormTest, PlacementIsCentredVerticallyAndFlushRight) {
  struct Case {
    Size screen, outer;
    double left, top;
  };
  const Case cases[] = {
      {{1920, 1080}, {258, 432}, 1662, 324},
      {{1024, 769}, {258, 432}, 766, 168.5},
      {{200, 300}, {258, 432}, -58, -66},  // a screen smaller than the window: nothing corrects
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.screen = c.screen;
    platform.outer = c.outer;
    Form_Load(platform);
    EXPECT_EQ(platform.left, c.left);
    EXPECT_EQ(platform.top, c.top);
    ResetClipboardWatch();
  }
}

TEST_F(FormTest, TextPutOnTheClipboardAfterItWasEmptiedIsShownUnscanned) {
  // Another program copies between the emptying and the last step.
  struct CopyOnMove : FakePlatform {
    void MoveWindow(double l, double t) override {
      FakePlatform::MoveWindow(l, t);
      Copy(u"x:=ZIG(C,5);", {1});
    }
  } platform;
  Form_Load(platform);
  EXPECT_EQ(platform.text1, u"x:=ZIG(C,5);");
}

TEST_F(FormTest, AFailingStepIsSkippedAndTheRestRun) {
  for (const std::string& failing : kLoadCalls) {
    FakePlatform platform;
    platform.failing = {failing};
    Form_Load(platform);
    // Every step after the failing one still ran.
    std::vector<std::string> expected = kLoadCalls;
    if (failing == "ScreenSize") {
      std::erase(expected, "OuterSize");
      std::erase(expected, "MoveWindow");
    } else if (failing == "OuterSize") {
      std::erase(expected, "MoveWindow");
    } else if (failing == "SetClipboardViewer") {
      std::erase(expected, "SetWindowProcedure");
    }
    EXPECT_EQ(platform.calls, expected) << failing;
    EXPECT_EQ(platform.list1.ListCount(), 27) << failing;
    ResetClipboardWatch();
  }
}

TEST_F(FormTest, AnExistingLibraryIsLoadedAsItIsAndAFolderThatCannotHoldOneGetsTheDefaults) {
  struct Case {
    std::string_view name;
    std::function<void()> prepare;
    std::vector<std::u16string> entries;
  };
  const Case cases[] = {
      // Nothing can be created in a removed current folder.
      {"unwritable", [] { std::filesystem::remove(std::filesystem::current_path()); }, kDefaults},
      {"empty file", [] { WriteBytes("code.ini", ""); }, {}},
      {"a folder", [] { std::filesystem::create_directory("code.ini"); }, {}},
      {"edited",
       [] { WriteBytes("code.ini", "DVOL \r\n\r\n$\xCE\xB4\xC0\xB4"); },
       {u"DVOL ", u"", u"$未来"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    c.prepare();
    FakePlatform platform;
    Form_Load(platform);
    EXPECT_EQ(platform.list1.items(), c.entries) << c.name;
    EXPECT_EQ(platform.calls, kLoadCalls) << c.name;
    ResetClipboardWatch();
  }
}

TEST_F(FormTest, AStartedWatchScansEachCopy) {
  Form_Load(platform_);
  platform_.Copy(u"a:=peak(1,2,3); b:=dvol;", {1});
  platform_.Deliver(WM_DRAWCLIPBOARD);
  EXPECT_EQ(platform_.text1, WarningLine(u"PEAK") + WarningLine(u"DVOL"));
}

TEST_F(FormTest, Check1SetsTopmostFromItsValue) {
  for (const int value : {0, 1, 1, 0}) {
    platform_.check1 = value;
    Check1_Click(platform_);
    EXPECT_EQ(platform_.insert_after.back(), value == 1 ? kHwndTopmost : kHwndNotopmost);
  }
}

TEST_F(FormTest, Label1ShowsTheRulesThenOpensTheLibrary) {
  Label1_Click(platform_);
  EXPECT_EQ(platform_.calls, (std::vector<std::string>{"MessageBox", "OpenInTextEditor"}));
  EXPECT_EQ(platform_.message_boxes,
            std::vector<std::u16string>{
                u"带参数的函数，请在前面加$,否则容易识别错误!\r\n编辑完成保存后重新打开程序即可!"});
  // The library need not exist: the editor gets its full path all the same.
  const auto expected = std::filesystem::absolute("code.ini");
  ASSERT_EQ(platform_.editor_files.size(), 1u);
  EXPECT_EQ(std::filesystem::path(platform_.editor_files[0]), expected);
}

TEST_F(FormTest, Label1SaysWhereTheLibraryIsWhenNoEditorStarts) {
  platform_.failing = {"OpenInTextEditor"};
  EXPECT_NO_THROW(Label1_Click(platform_));
  ASSERT_EQ(platform_.message_boxes.size(), 2u);
  const std::u16string path = std::filesystem::absolute("code.ini").u16string();
  EXPECT_NE(platform_.message_boxes[1].find(path), std::u16string::npos);
}

TEST_F(FormTest, Label3OpensTheWebPage) {
  Label3_Click(platform_);
  EXPECT_EQ(platform_.shell_files, std::vector<std::u16string>{u"http://www.xuvo.example/"});
}

TEST(LayoutTest, ControlsInTwipsAndPixels) {
  struct Case {
    std::string_view name;
    PixelRect pixels;
    int tab_index;
  };
  const Case cases[] = {
      {"Label1", {0, 8, 145, 17}, 1},  {"Check1", {168, 8, 73, 17}, 2},
      {"Text1", {0, 24, 241, 345}, 0}, {"Label3", {0, 376, 241, 17}, 4},
      {"List1", {8, 480, 57, 40}, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Control(c.name).twips.ToPixels(), c.pixels) << c.name;
    EXPECT_EQ(Control(c.name).tab_index, c.tab_index) << c.name;
  }
  EXPECT_EQ(kClientTwips.ToPixels(), (PixelRect{0, 0, 242, 393}));
  // Label3 ends exactly at the bottom of the client area; List1 lies below it.
  const TwipRect label3 = Control("Label3").twips;
  EXPECT_EQ(label3.top + label3.height, kClientTwips.height);
  EXPECT_GT(Control("List1").twips.top, kClientTwips.height);
  EXPECT_FALSE(Control("List1").visible);
}

TEST(LayoutTest, InstructionsHaveSeventeenLinesStartingWithFourBlankOnes) {
  const std::vector<std::u16string> lines = SplitLines(Instructions());
  ASSERT_EQ(lines.size(), 17u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(
        std::all_of(lines[i].begin(), lines[i].end(), [](char16_t c) { return c == u' '; }));
  }
  EXPECT_EQ(lines[4], u"1、使用方法：只要复制公式代码软");
  EXPECT_EQ(lines[12], u"未来函数！                     ");
  EXPECT_EQ(Instructions().substr(Instructions().size() - 2), u"\r\n");
}

}  // namespace
}  // namespace tesqua
