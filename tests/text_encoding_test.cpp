#include "scan/text_encoding.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tesqua {
namespace {

// Byte-order marks win and are dropped; else UTF-8 needs a sequence of three or four bytes, and
// anything else is read in the ANSI code page (GBK here).
TEST(TextEncodingTest, TextDecodesByItsMarkOrItsBytes) {
  struct Case {
    std::string_view bytes;
    std::u16string_view text;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF$ZIG", u"$ZIG"},
      {{"\xFF\xFE$\0Z\0", 6}, u"$Z"},
      {{"\xFE\xFF\0$\0Z", 6}, u"$Z"},
      {{"\xFF\xFE$\0Z", 5}, u"$\uFFFD"},
      {"\xEF\xBB\xBF\xD7\xA2", u"\u05E2"},    // GBK "注" read as UTF-8 behind a UTF-8 mark
      {"\xE6\xB3\xA8\xE6\x84\x8F", u"注意"},  // UTF-8
      {"\xD7\xA2\xD2\xE2", u"注意"},          // GBK, no UTF-8
      {"\xCD\xA8", u"通"},                    // GBK, also two-byte UTF-8
      {"ZIG(\xD6\xB8\xCD\xA8", u"ZIG(指通"},  // two of them
      {"\xC3\xA9\xE6\xB3\xA8", u"é注"},       // two-byte and three-byte UTF-8
      {"\xF0\x9F\x98\x80", u"\U0001F600"},    // four-byte UTF-8
      {"\xE6\xB3\xA8\xA4", u"娉à"},           // UTF-8 "注", then ill-formed
      {{"ZIG(\0", 5}, {u"ZIG(\0", 5}},  // a NUL is a character like any other
      {"\xA3\xA1\x80", u"！€"},         // the euro sign, code page 936's one single byte
      // An unassigned pair loses its lead byte only, so an ASCII byte after it survives.
      {"\xFFZ\x81", u"\uFFFDZ\uFFFD"},
      {"\xA1\x7FZ", u"\uFFFD\x7FZ"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeText(c.bytes, DecodeGbk), c.text) << c.bytes;
}

// Written out for the scalar reader; VectorKernelsTest sweeps every sequence through the blocks.
TEST(TextEncodingTest, Utf8CheckIsStrictAndTellsLongSequences) {
  struct Case {
    std::string_view bytes;
    bool final;
    std::size_t used;
    bool ill_formed;
    bool long_sequence;
  };
  const Case cases[] = {
      {"\xF0\x9F\x98\x80", true, 4, false, true},  // U+1F600
      {"\xC0\xAF", true, 0, true, false},          // overlong
      {"\xED\xA0\x80", true, 0, true, false},      // surrogate
      {"\xF4\x90\x80\x80", true, 0, true, false},  // above U+10FFFF
      {"a\xE6\xB3", true, 1, true, false},         // cut short at the end
      {"a\xE6\xB3", false, 1, false, false},       // the rest may come with the next piece
  };
  for (const Case& c : cases) {
    const Utf8Check check = CheckUtf8(c.bytes, c.final);
    EXPECT_EQ(std::tuple(check.used, check.ill_formed, check.long_sequence),
              std::tuple(c.used, c.ill_formed, c.long_sequence))
        << c.bytes;
  }
}

TEST(TextEncodingTest, Utf8EncodesEachLengthAndReplacesLoneSurrogates) {
  struct Case {
    std::u16string_view text;
    std::string_view bytes;
  };
  const Case cases[] = {
      {u"aé注\U00010400", "a\xC3\xA9\xE6\xB3\xA8\xF0\x90\x90\x80"},
      {u"\u007F\u0080\u07FF\u0800\uFFFF",  // where lengths change
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\U0001F600!", "\xF0\x9F\x98\x80!"},
      {u"\xD800", "\xEF\xBF\xBD"},
      {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
      {u"\xDC00!", "\xEF\xBF\xBD!"},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeUtf8(c.text), c.bytes) << c.bytes;
}

}  // namespace
}  // namespace tesqua
