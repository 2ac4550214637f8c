#include "scan/scan.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/fake_platform.h"

namespace tesqua {
namespace {

std::u16string Warning(std::u16string_view name) {
  return u"\r\n注意：发现未来函数" + std::u16string(name) + u"！";
}

// Rows one after another with other libraries: the matcher kept between scans must follow the
// library it is asked about.
TEST(ScanTest, Verdicts) {
  struct Case {
    const char* what;
    std::vector<std::u16string> entries;
    std::u16string text;
    std::u16string verdict;
  };
  const std::u16string none(u"没有发现未来函数！");
  const Case cases[] = {
      {"lower-case call, name as stored", {u"$ZIG"}, u"A:=zig(C,5);", Warning(u"ZIG")},
      {"blank before the parenthesis", {u"$ZIG"}, u"ZIG (C,5)", none},
      {"name without a call", {u"$ZIG"}, u"ZIG:=1;", none},
      {"key inside a longer key, library order",
       {u"$ZIG", u"$FLATZIG"},
       u"FLATZIG(5)",
       Warning(u"ZIG") + Warning(u"FLATZIG")},
      {"inside a longer name", {u"DVOL"}, u"XDVOLY", Warning(u"DVOL")},
      {"another library of one entry", {u"DLOW"}, u"XDVOLY", none},
      {"the lone marker finds any call", {u"$"}, u"MA(C,5)", Warning(u"")},
      {"a second marker is part of the name", {u"$$A"}, u"$a(1)", Warning(u"$A")},
      {"a full-width dollar is no marker", {u"＄ZIG"}, u"＄zig", Warning(u"＄ZIG")},
      {"empty entry in a non-empty text", {u""}, u"x", Warning(u"")},
      {"empty entry in an empty text", {u""}, u"", none},
      {"blank before the marker is literal", {u" $ZIG"}, u"ZIG(1)", none},
      {"blank before the marker found literally", {u" $ZIG"}, u"A $zig", Warning(u" $ZIG")},
      {"trailing blank is part of the key", {u"DVOL "}, u"DVOL;", none},
      {"equal entries give equal lines",
       {u"DVOL", u"DVOL"},
       u"dvol",
       Warning(u"DVOL") + Warning(u"DVOL")},
      {"empty clipboard", {u"$ZIG", u"DVOL"}, u"", none},
      {"three entries, two found",
       {u"$ZIG", u"$PEAK", u"DVOL"},
       u"x:=Zig(c,3)+dvol; peak (1)",
       Warning(u"ZIG") + Warning(u"DVOL")},
      {"Kelvin sign and long s fold onto ASCII", {u"$ask"}, u"A\u017F\u212A(", Warning(u"ask")},
      {"Chinese entry", {u"未来"}, u"// 未来函数", Warning(u"未来")},
      {"no width folding", {u"DVOL"}, u"ＤＶＯＬ", none},
      {"key at the very end", {u"#WEEK"}, u"a;b;#week", Warning(u"#WEEK")},
      {"far beyond the 32767th character",
       {u"$ZIG", u"DVOL"},
       std::u16string(100000, u'x') + u"dvol",
       Warning(u"DVOL")},
  };
  for (const Case& c : cases) {
    const ScanResult result = ScanText(c.entries, c.text);
    EXPECT_EQ(result.verdict, c.verdict) << c.what;
    EXPECT_EQ(result.hit_count,
              c.verdict == none ? 0 : std::count(c.verdict.begin(), c.verdict.end(), u'\n'))
        << c.what;
    // The one-key search that the benchmarks measure the matcher against.
    if (c.entries.size() == 1) {
      EXPECT_EQ(ContainsIgnoringCase(c.text, SearchKey(c.entries[0])), c.verdict != none) << c.what;
    }
  }
}

// One read per entry, the selection walked down the list, and the first read's text searched
// for every entry (a reader that handed out another text later must not mix two texts).
TEST(ScanTest, TheClipboardIsReadOncePerEntryAndTheFirstTextIsSearched) {
  testing::FakeListBox list;
  for (const char16_t* entry : {u"$ZIG", u"DLOW", u"DVOL"}) list.AddItem(entry, list.ListCount());
  const std::u16string texts[] = {u"dvol", u"dlow", u"zig("};
  int reads = 0;
  const ScanResult result = ScanClipboardText(list, [&] { return texts[reads++]; });
  EXPECT_EQ(result.verdict, Warning(u"DVOL"));
  EXPECT_EQ(result.hit_count, 1);
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(list.selections, (std::vector<int>{0, 1, 2, -1}));
  EXPECT_EQ(list.ListIndex(), -1);
}

TEST(ScanTest, FailuresComeBeforeAnyVerdict) {
  // An empty library fails before the clipboard is read.
  testing::FakeListBox empty;
  int reads = 0;
  EXPECT_THROW(ScanClipboardText(empty, [&] { return ++reads, std::u16string(u"x"); }),
               PlatformFailure);
  EXPECT_EQ(reads, 0);
  // A failed read leaves the selection on its entry.
  testing::FakeListBox list;
  for (const char16_t* entry : {u"A", u"B", u"C"}) list.AddItem(entry, list.ListCount());
  EXPECT_THROW(ScanClipboardText(list,
                                 [&]() -> std::u16string {
                                   if (++reads == 2) throw PlatformFailure("clipboard busy");
                                   return u"a";
                                 }),
               PlatformFailure);
  EXPECT_EQ(list.ListIndex(), 1);
  // Indexes outside the list fail as well; -1 is no selection.
  EXPECT_THROW(list.AddItem(u"x", -1), PlatformFailure);
  EXPECT_THROW(list.AddItem(u"x", 4), PlatformFailure);
  EXPECT_THROW(list.List(3), PlatformFailure);
  EXPECT_THROW(list.List(-1), PlatformFailure);
  EXPECT_THROW(list.SetListIndex(3), PlatformFailure);
  EXPECT_THROW(list.SetListIndex(-2), PlatformFailure);
  list.AddItem(u"D", 3);
  list.SetListIndex(-1);
  EXPECT_EQ(list.List(3), u"D");
}

}  // namespace
}  // namespace tesqua
