#include "ui/form.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "clipwatch/clipwatch.h"
#include "scan/scan.h"
#include "tests/fake_platform.h"
#include "tests/temp_dir.h"
#include "ui/layout.h"

namespace tesqua {
namespace {

using testing::FakePlatform;
using testing::TempDir;
using testing::WriteBytes;

const std::vector<std::u16string> kDefaults = {
    u"$ZIG",      u"$PEAK",   u"$PEAKBARS",  u"$TROUGH",  u"$TROUGHBARS", u"$FLATZIG",
    u"$FLATZIGA", u"$PEAKA",  u"$PEAKBARSA", u"$TROUGHA", u"$ZIGA",       u"$FFT",
    u"$BACKSET",  u"$WINNER", u"$LWINNER",   u"$COST",    u"$DYNAINFO",   u"$FINANCE",
    u"$DRAWLINE", u"#YEAR",   u"#MONTH",     u"#WEEK",    u"CAPITAL",     u"DCLOSE",
    u"DOPEN",     u"DLOW",    u"DVOL"};

class FormTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetClipboardWatch(); }

  void Load(const std::string& failing = "", Size screen = {1920, 1080}) {
    ResetClipboardWatch();
    platform_ = FakePlatform{};
    platform_.screen = screen;
    platform_.Copy(u"held before the start");
    platform_.text1 = u"instructions";
    platform_.failing = {failing};
    Form_Load(platform_);
    platform_.failing.clear();
  }

  TempDir dir_;
  FakePlatform platform_;
};

// The window goes to the right edge of the screen, centred vertically, whatever the sizes.
TEST_F(FormTest, StartUpReadiesTheWindowAndAFailingStepLosesOnlyItself) {
  struct Case {
    std::string failing;
    Size screen;
    double left, top;
    bool emptied, topmost, watching;
  };
  // clang-format off
  const Case cases[] = {
      {"", {1920, 1080}, 1661, 324, true, true, true},
      {"EmptyClipboard", {1024, 769}, 765, 168.5, false, true, true},  // then shown unscanned
      {"SetWindowPos", {200, 300}, -59, -66, true, false, true},  // a screen smaller than it
      {"MoveWindow", {1920, 1080}, 0, 0, true, true, true},
      {"AddClipboardFormatListener", {1920, 1080}, 1661, 324, true, true, false},
      {"SetWindowProcedure", {1920, 1080}, 1661, 324, true, true, false},
      {"GetPriorityClipboardFormat", {1920, 1080}, 1661, 324, true, true, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    Load(c.failing, c.screen);
    EXPECT_EQ(platform_.list1.items(), kDefaults) << c.failing;
    EXPECT_EQ(platform_.clipboard_formats.empty(), c.emptied) << c.failing;
    EXPECT_EQ(platform_.text1, c.emptied ? u"instructions" : u"held before the start") << c.failing;
    EXPECT_EQ(platform_.topmost, c.topmost) << c.failing;
    EXPECT_EQ(platform_.left, c.left) << c.failing;
    EXPECT_EQ(platform_.top, c.top) << c.failing;
    platform_.Copy(u"a:=peak(1,2,3); b:=dvol;", {1});
    platform_.ClipboardChanged();
    EXPECT_EQ(platform_.text1 == u"\r\n注意：发现未来函数PEAK！\r\n注意：发现未来函数DVOL！",
              c.watching)
        << c.failing;
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
    Load();
    EXPECT_EQ(platform_.list1.items(), c.entries) << c.name;
  }
}

TEST_F(FormTest, Check1KeepsTheWindowTopmostExactlyWhileChecked) {
  for (const int value : {0, 1, 1, 0}) {
    platform_.check1 = value;
    Check1_Click(platform_);
    EXPECT_EQ(platform_.topmost, value == 1);
  }
}

TEST_F(FormTest, TheLabelsShowTheRulesAndOpenTheLibraryOrTheWebPage) {
  const std::u16string rules =
      u"带参数的函数，请在前面加$,否则容易识别错误!\r\n编辑完成保存后重新打开程序即可!";
  // The library need not exist: the editor gets its full path all the same.
  const std::u16string library = (dir_.path / "code.ini").u16string();
  struct Case {
    void (*click)(Platform&);
    std::string failing;
    std::vector<std::u16string> shown;
    bool unwritable = false;  // start-up could not write code.ini
  };
  const Case cases[] = {
      {Label1_Click, "", {rules, u"editor " + library}},
      {Label1_Click,
       "OpenInTextEditor",
       {rules, u"无法启动文本编辑器，请手动打开特征库文件：\r\n" + library}},
      {Label1_Click,
       "",
       {u"无法在当前文件夹中写入特征库文件 code.ini，现在使用的是内置的特征库。\r\n"
        u"要编辑特征库，请在您可以写入的文件夹（例如“文档”，而不是 Program Files）中运行本程序，"
        u"然后再点此编辑。"},
       true},
      {Label3_Click, "", {u"open http://www.xuvo.example/"}},
  };
  for (const Case& c : cases) {
    std::optional<TempDir> removed;
    if (c.unwritable) removed.emplace(), std::filesystem::remove(std::filesystem::current_path());
    Load();
    std::filesystem::remove("code.ini");
    platform_.shown.clear();
    platform_.failing = {c.failing};
    EXPECT_NO_THROW(c.click(platform_));
    EXPECT_EQ(platform_.shown, c.shown);
  }
}

TEST(LayoutTest, TheInstructionsLineByLine) {
  const auto spaces = [](std::size_t count) { return std::u16string(count, u' '); };
  // clang-format off
  const std::u16string lines[] = {
      spaces(30), spaces(30), spaces(30), spaces(19), u"1、使用方法：只要复制公式代码软",
      spaces(30), u" 件自动提示是否有未来函数！" + spaces(5), spaces(24),
      u"2、可自定义未来函数特征库，请按", spaces(30), u" 提示编辑特征库以便更加准确识别 ",
      spaces(15), u"未来函数！" + spaces(21), spaces(12), u"  更多更好的股软请访问Xuvo软件  ",
      spaces(18), u"工作室网站！"};
  // clang-format on
  std::u16string text;
  for (const std::u16string& line : lines) text += line + u"\r\n";
  EXPECT_EQ(Instructions(), text);
}

}  // namespace
}  // namespace tesqua
