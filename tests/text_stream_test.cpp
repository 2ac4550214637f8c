#include "scan/text_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "tests/fuzz/fuzz_support.h"

namespace tesqua {
namespace {

// Bytes that make every encoding decision: ASCII, UTF-8 of two to four bytes, GBK pairs
// (one with an ASCII trail byte), stray bytes, and now and then a byte-order mark first; and
// letters that fold (the Kelvin sign, the long s, À, full-width A).
std::string RandomBytes(std::mt19937& random) {
  static const std::vector<std::string> kPieces = {
      "A", "z(", "\r\n", "\n", "\xE6\x9C\xAA", "\xC3\xA9", "\xCE\xB4", "\xE2\x84\xAA", "\xC5\xBF",
      "\xC3\x80", "\xEF\xBC\xA1", "\xF0\x90\x90\x80", ",", "DVOL",
      // Not UTF-8, from here on
      "\x81\x40", "\xFF", "\x80", "\xE6\x9C", std::string(1, '\0'), "\xC0\xB4"};
  static const std::vector<std::string> kMarks = {"",         "",        "", "\xEF\xBB\xBF",
                                                  "\xFF\xFE", "\xFE\xFF"};
  std::string bytes = kMarks[random() % kMarks.size()];
  const bool utf8_only = random() % 2 == 0;  // half the texts stay valid UTF-8 to the end
  for (std::size_t i = random() % 60; i > 0; --i) {
    bytes += kPieces[random() % (utf8_only ? 14 : kPieces.size())];
  }
  return bytes;
}

// Chunks of any size, read a few bytes at a time or in memory, and taken as units, folded units
// or bytes.
TEST(TextStreamTest, ChunksDecodeAsTheWholeDoes) {
  std::mt19937 random(936);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = RandomBytes(random);
    const std::size_t chunk = 4 + random() % 14;
    PipeSource source(bytes, unsigned(random() % 9));
    CollectingSink sink;
    sink.bytes = round % 2 == 1;
    sink.folding = round % 3 == 2;
    if (round % 4 == 3) {
      std::vector<char16_t> units;
      DecodeBytes(bytes, GbkCodePage(), sink, units, chunk);
    } else {
      DecodeInChunks(source, GbkCodePage(), sink, chunk);
    }
    const std::u16string whole = DecodeText(bytes, DecodeGbk);
    ASSERT_EQ(sink.folding ? model::Fold(sink.text) : sink.text,
              sink.folding ? model::Fold(whole) : whole)
        << "round " << round << " chunk " << chunk;
  }
}

TEST(TextStreamTest, ChoosesTheEncodingAndRestartsOnlyWhenLaterBytesOverturnTheChoice) {
  const std::string x(100, 'x');
  const std::u16string ux(100, u'x');
  std::string lai;
  for (int i = 0; i < 300; ++i) lai += "\xC0\xB4";
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    int restarts;
    std::u16string text;
  };
  const Case cases[] = {
      {"", TextEncoding::kUtf8, 0, u""},
      {"\xEF\xBB\xBFZ\xFF", TextEncoding::kUtf8WithMark, 0, u"Z\uFFFD"},
      {std::string("\xFF\xFEZ\0", 4), TextEncoding::kUtf16Le, 0, u"Z"},
      {std::string("\xFE\xFF\0Z", 4), TextEncoding::kUtf16Be, 0, u"Z"},
      {x + "\xE6\x9C\xAA", TextEncoding::kUtf8, 0, ux + u"未"},
      // Nothing but ASCII before the ANSI byte, which both read alike: nothing to undo.
      {x + "\xC0\xB4", TextEncoding::kAnsi, 0, ux + u"来"},
      {x + "\xCD\xA8" + x, TextEncoding::kAnsi, 0, ux + u"通" + ux},
      {"ZIG(\xE6\x9C", TextEncoding::kAnsi, 0, u"ZIG(\u93C8"},  // UTF-8 cut short at the end
      // UTF-8 after all (a three-byte sequence), ANSI after all (an ill-formed byte), and both.
      {x + "\xCD\xA8" + x + "\xE6\x9C\xAA", TextEncoding::kUtf8, 1, ux + u"\u0368" + ux + u"未"},
      {"\xE5\x87\xBD\xE6\x9C\xAA" + x + "\xC0\xB4", TextEncoding::kAnsi, 1, u"鍑芥湭" + ux + u"来"},
      {"\xCD\xA8" + x + "\xE5\x87\xBD\xE6\x9C\xAA" + x + "\xC0\xB4", TextEncoding::kAnsi, 2,
       u"通" + ux + u"鍑芥湭" + ux + u"来"},
      // No byte below 0x40, and the trail bytes of 来 are lead bytes too: only counting from a
      // known boundary tells where a character ends.
      {"a\x81\x40" + lai, TextEncoding::kAnsi, 0, u"a丂" + std::u16string(300, u'来')},
  };
  for (const Case& c : cases) {
    PipeSource source(c.bytes, 6);
    CollectingSink sink;
    EXPECT_EQ(DecodeInChunks(source, GbkCodePage(), sink, 16), c.encoding) << c.bytes;
    EXPECT_EQ(std::tuple(sink.restarts, sink.text), std::tuple(c.restarts, c.text)) << c.bytes;
    EXPECT_LE(sink.largest, 16u) << c.bytes;
  }
}

// The sink stops wanting text early: the bytes are still checked to their end, as a later
// non-UTF-8 byte changes how all of them read; but ANSI text is read no further.
TEST(TextStreamTest, ASinkThatHasEnough) {
  const std::string bytes = "ZIG(\xE6\x9C\xAA" + std::string(500, 'x') + "\xC0\xB4";
  PipeSource late(bytes, 9);
  CollectingSink four;
  four.wanted = 4;
  EXPECT_EQ(DecodeInChunks(late, GbkCodePage(), four, 16), TextEncoding::kAnsi);
  EXPECT_EQ(four.restarts, 1);
  EXPECT_EQ(four.text.substr(0, 4), u"ZIG(");
  std::string ansi = "\xC0\xB4";
  for (int i = 0; i < 20000; ++i) ansi += "x;\r\n";
  for (const bool bytes : {false, true}) {  // GBK decoded, then plain ASCII taken as bytes
    const std::string input = bytes ? ansi.substr(2) : ansi;
    PipeSource source(input, 9);
    CollectingSink one;
    one.bytes = bytes;
    one.wanted = 1;
    DecodeInChunks(source, GbkCodePage(), one, 64);
    EXPECT_LT(one.text.size(), 200u) << bytes;
  }
}

}  // namespace
}  // namespace tesqua
