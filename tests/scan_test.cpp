#include "scan/scan.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/fake_platform.h"

namespace tesqua {
namespace {

std::u16string Warning(std::u16string_view name) {
  return u"\r\n注意：发现未来函数" + std::u16string(name) + u"！";
}

TEST(ScanTest, KeysAndNames) {
  struct Case {
    std::u16string_view entry, key, name;
  };
  const Case cases[] = {
      {u"$ZIG", u"ZIG(", u"ZIG"},
      {u"DVOL", u"DVOL", u"DVOL"},
      {u"$", u"(", u""},
      {u"", u"", u""},
      {u" $ZIG", u" $ZIG", u" $ZIG"},
      {u"＄ZIG", u"＄ZIG", u"＄ZIG"},  // a full-width dollar is no marker
      {u"$$A", u"$A(", u"$A"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SearchKey(c.entry), c.key);
    EXPECT_EQ(DisplayName(c.entry), c.name);
  }
}

TEST(ScanTest, Verdicts) {
  struct Case {
    const char* what;
    std::vector<std::u16string> entries;
    std::u16string_view text;
    std::u16string verdict;
  };
  const std::u16string none(kNoHitVerdict);
  const Case cases[] = {
      {"lower-case call, name as stored", {u"$ZIG"}, u"A:=zig(C,5);", Warning(u"ZIG")},
      {"blank before the parenthesis", {u"$ZIG"}, u"ZIG (C,5)", none},
      {"name without a call", {u"$ZIG"}, u"ZIG:=1;", none},
      {"key inside a longer key, library order",
       {u"$ZIG", u"$FLATZIG"},
       u"FLATZIG(5)",
       Warning(u"ZIG") + Warning(u"FLATZIG")},
      {"inside a longer name", {u"DVOL"}, u"XDVOLY", Warning(u"DVOL")},
      {"the lone marker finds any call", {u"$"}, u"MA(C,5)", Warning(u"")},
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
  };
  for (const Case& c : cases) {
    const ScanResult result = ScanText(c.entries, c.text);
    EXPECT_EQ(result.verdict, c.verdict) << c.what;
    EXPECT_EQ(result.hit_count,
              result.verdict == none
                  ? 0
                  : int(std::count(result.verdict.begin(), result.verdict.end(), u'\n')))
        << c.what;
  }
}

TEST(ScanTest, MatchesFarBeyondThe32767thCharacter) {
  std::u16string text(100000, u'x');
  text += u"dvol";
  EXPECT_EQ(ScanText({u"$ZIG", u"DVOL"}, text).verdict, Warning(u"DVOL"));
}

TEST(ScanTest, WalksTheListThroughItsSelectionAndReadsOncePerEntry) {
  testing::FakeListBox list;
  for (const char16_t* entry : {u"$ZIG", u"DVOL", u"CAPITAL"})
    list.AddItem(entry, list.ListCount());
  int reads = 0;
  const ScanResult result = ScanClipboardText(list, [&] {
    ++reads;
    return std::u16string(u"capital");
  });
  EXPECT_EQ(result.verdict, Warning(u"CAPITAL"));
  EXPECT_EQ(result.hit_count, 1);
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(list.selections, (std::vector<int>{0, 1, 2, -1}));
  EXPECT_EQ(list.ListIndex(), -1);
}

TEST(ScanTest, SearchesEveryEntryInTheFirstReadsText) {
  // The reader hands out one snapshot per notice; a reader that did not must still never
  // yield a verdict mixed from two texts.
  testing::FakeListBox list;
  list.AddItem(u"DVOL", 0);
  list.AddItem(u"DLOW", 1);
  std::vector<std::u16string> texts = {u"dlow", u"dvol"};
  std::size_t next = 0;
  EXPECT_EQ(ScanClipboardText(list, [&] { return texts[next++]; }).verdict, Warning(u"DLOW"));
  EXPECT_EQ(next, 2u);  // still one read per entry
}

TEST(ScanTest, TheSameLibraryScannedAgainAfterAnotherGivesItsOwnVerdicts) {
  // The matcher kept between scans must follow the library it is asked about.
  EXPECT_EQ(ScanText({u"DVOL"}, u"dvol dlow").verdict, Warning(u"DVOL"));
  EXPECT_EQ(ScanText({u"DLOW"}, u"dvol dlow").verdict, Warning(u"DLOW"));
  EXPECT_EQ(ScanText({u"DLOW", u"DVOL"}, u"dvol").verdict, Warning(u"DVOL"));
  EXPECT_EQ(ScanText({u"DVOL"}, u"dvol dlow").verdict, Warning(u"DVOL"));
}

TEST(ScanTest, AnEmptyLibraryFailsBeforeAnyVerdict) {
  testing::FakeListBox list;
  int reads = 0;
  EXPECT_THROW(ScanClipboardText(list, [&] { return ++reads, std::u16string(u"x"); }),
               PlatformFailure);
  EXPECT_EQ(reads, 0);
}

TEST(ScanTest, AFailedReadAbortsWithTheSelectionOnThatEntry) {
  testing::FakeListBox list;
  for (const char16_t* entry : {u"A", u"B", u"C"}) list.AddItem(entry, list.ListCount());
  int reads = 0;
  EXPECT_THROW(ScanClipboardText(list,
                                 [&]() -> std::u16string {
                                   if (++reads == 2) throw PlatformFailure("clipboard busy");
                                   return u"a";
                                 }),
               PlatformFailure);
  EXPECT_EQ(list.ListIndex(), 1);
}

}  // namespace
}  // namespace tesqua
