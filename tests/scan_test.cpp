#include "scan/scan.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/fake_platform.h"

namespace tesqua {
namespace {

std::u16string Warning(std::u16string_view name) {
  return u"\r\n注意：发现未来函数" + std::u16string(name) + u"！";
}

// The clipboard as the watch hands it to the scan: each read a text of its own.
template <typename Read>
SharedClipboardTextReader Reader(Read read) {
  return [read] { return std::make_shared<const std::u16string>(read()); };
}

// Rows one after another with other libraries: the matcher kept between scans must follow the
// library it is asked about.
TEST(ScanTest, Verdicts) {
  struct Case {
    const char* what;
    std::vector<std::u16string> entries;
    std::u16string text;
    std::vector<std::u16string> names;  // of the entries found
  };
  const Case cases[] = {
      {"lower-case call, name as stored", {u"$ZIG"}, u"A:=zig(C,5);", {u"ZIG"}},
      {"name without a call", {u"$ZIG"}, u"ZIG:=1;", {}},
      {"key in a longer key", {u"$ZIG", u"$FLATZIG"}, u"FLATZIG(5)", {u"ZIG", u"FLATZIG"}},
      {"inside a longer name", {u"DVOL"}, u"XDVOLY", {u"DVOL"}},
      {"another library of one entry", {u"DLOW"}, u"XDVOLY", {}},
      {"the lone marker finds any call", {u"$"}, u"MA(C,5)", {u""}},
      {"a second marker is part of the name", {u"$$A"}, u"$a(1)", {u"$A"}},
      {"a full-width dollar is no marker", {u"＄ZIG"}, u"＄zig", {u"＄ZIG"}},
      {"empty entry in a non-empty text", {u""}, u"x", {u""}},
      {"empty entry in an empty text", {u""}, u"", {}},
      {"blank before the marker is literal", {u" $ZIG"}, u"ZIG(1)", {}},
      {"blank before the marker found literally", {u" $ZIG"}, u"A $zig", {u" $ZIG"}},
      {"trailing blank is part of the key", {u"DVOL "}, u"DVOL;", {}},
      {"equal entries", {u"DVOL", u"DVOL"}, u"dvol", {u"DVOL", u"DVOL"}},
      {"empty clipboard", {u"$ZIG", u"DVOL"}, u"", {}},
      {"two of three", {u"$ZIG", u"$PEAK", u"DVOL"}, u"Zig(c)+dvol; peak (1)", {u"ZIG", u"DVOL"}},
      {"Kelvin sign and long s fold onto ASCII", {u"$ask"}, u"A\u017F\u212A(", {u"ask"}},
      {"Chinese entry", {u"未来"}, u"// 未来函数", {u"未来"}},
      {"no width folding", {u"DVOL"}, u"ＤＶＯＬ", {}},
      {"key at the very end", {u"#WEEK"}, u"a;b;#week", {u"#WEEK"}},
      {"past unit 32767", {u"$ZIG", u"DVOL"}, std::u16string(100000, u'x') + u"dvol", {u"DVOL"}},
  };
  for (const Case& c : cases) {
    std::u16string verdict = c.names.empty() ? u"没有发现未来函数！" : u"";
    for (const std::u16string& name : c.names) verdict += Warning(name);
    const ScanResult result = ScanText(c.entries, c.text);
    EXPECT_EQ(result.verdict, verdict) << c.what;
    EXPECT_EQ(result.hit_count, int(c.names.size())) << c.what;
  }
}

// One read per entry, the selection walked down the list, and the first read's text searched
// for every entry (a reader that handed out another text later must not mix two texts).
TEST(ScanTest, TheClipboardIsReadOncePerEntryAndTheFirstTextIsSearched) {
  testing::FakeListBox list;
  for (const char16_t* entry : {u"$ZIG", u"DLOW", u"DVOL"}) list.AddItem(entry, list.ListCount());
  const std::u16string texts[] = {u"dvol", u"dlow", u"zig("};
  int reads = 0;
  const ScanResult result = ScanClipboardText(list, Reader([&] { return texts[reads++]; }));
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
  EXPECT_THROW(ScanClipboardText(empty, Reader([&] { return ++reads, std::u16string(u"x"); })),
               PlatformFailure);
  EXPECT_EQ(reads, 0);
  // A failed read leaves the selection on its entry.
  testing::FakeListBox list;
  for (const char16_t* entry : {u"A", u"B", u"C"}) list.AddItem(entry, list.ListCount());
  EXPECT_THROW(ScanClipboardText(list, Reader([&]() -> std::u16string {
                                   if (++reads == 2) throw PlatformFailure("clipboard busy");
                                   return u"a";
                                 })),
               PlatformFailure);
  EXPECT_EQ(list.ListIndex(), 1);
}

}  // namespace
}  // namespace tesqua
