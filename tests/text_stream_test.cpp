#include "scan/text_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <tuple>

#include "tests/fuzz/fuzz_support.h"
#include "tests/scan_model.h"

namespace tesqua {
namespace {

class CollectingSink : public TextSink {
 public:
  explicit CollectingSink(std::size_t wanted = ~std::size_t{0}) : wanted_(wanted) {}
  void Restart() override {
    text.clear();
    ++restarts;
  }
  bool Take(std::u16string_view units, bool folded) override {
    EXPECT_TRUE(folding || !folded);
    // Pieces the decoder did not fold are folded here, as a matching sink does.
    text += folding && !folded ? model::Fold(units) : std::u16string(units);
    largest = std::max(largest, units.size());
    return text.size() < wanted_;
  }
  bool TakesFolded() const override { return folding; }
  // Bytes are decoded here, piece by piece: a piece that splits a character shows.
  bool TakesBytes(ByteEncoding) const override { return bytes; }
  bool TakeBytes(std::string_view piece, ByteEncoding encoding) override {
    EXPECT_TRUE(bytes);
    return Take(encoding == ByteEncoding::kUtf8 ? DecodeUtf8(piece) : DecodeGbk(piece), false);
  }
  bool folding = false;
  bool bytes = false;
  std::u16string text;
  int restarts = 0;
  std::size_t largest = 0;  // units in the largest piece

 private:
  std::size_t wanted_;
};

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
    ASSERT_EQ(sink.text, sink.folding ? model::Fold(whole) : whole)
        << "round " << round << " chunk " << chunk;
  }
}

TEST(TextStreamTest, CheckingUtf8AgreesWithTheDecoderOnEverySequence) {
  const unsigned char kNext[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                 0xA0, 0xBF, 0xC0, 0xE0, 0xF0, 0xFF};
  std::vector<std::string> sequences;
  for (int lead = 0; lead < 256; ++lead) {
    const std::string one(1, char(lead));
    sequences.push_back(one);
    for (const unsigned char second : kNext) {
      sequences.push_back(one + char(second));
      for (const unsigned char third : kNext) {
        sequences.push_back(one + char(second) + char(third));
        if (lead < 0xF0) continue;
        for (const unsigned char fourth : kNext) {
          sequences.push_back(one + char(second) + char(third) + char(fourth));
        }
      }
    }
  }
  // Amid a block, at its end, and where two runs of blocks meet.
  const std::pair<std::size_t, std::size_t> kPlaces[] = {{30, 40}, {61, 40}, {1022, 100}};
  std::string bytes;
  for (const std::string& sequence : sequences) {
    for (const auto& [before, after] : kPlaces) {
      bytes.assign(before, 'a');
      bytes.append(sequence).append(after, 'b');
      std::size_t valid = before;  // ASCII up to the sequence and after it
      bool long_sequence = false;
      while (valid < before + sequence.size()) {
        const std::size_t length = Utf8SequenceLength(bytes, valid);
        if (length == 0) break;
        long_sequence = long_sequence || length >= 3;
        valid += length;
      }
      if (valid >= before + sequence.size()) valid = bytes.size();
      const Utf8Check check = CheckUtf8(bytes, true);
      ASSERT_EQ(std::tuple(check.used, check.ill_formed, check.long_sequence),
                std::tuple(valid, valid < bytes.size(), long_sequence))
          << testing::PrintToString(sequence) << " after " << before;
    }
  }
}

TEST(TextStreamTest, ChoosesTheEncodingAndRestartsOnlyWhenLaterBytesOverturnTheChoice) {
  const std::string pad(100, 'x');
  const std::u16string text_pad(100, u'x');
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
      {pad + "\xE6\x9C\xAA", TextEncoding::kUtf8, 0, text_pad + u"未"},
      // Nothing but ASCII before the ANSI byte, which both read alike: nothing to undo.
      {pad + "\xC0\xB4", TextEncoding::kAnsi, 0, text_pad + u"来"},
      {pad + "\xCD\xA8" + pad, TextEncoding::kAnsi, 0, text_pad + u"通" + text_pad},
      {"ZIG(\xE6\x9C", TextEncoding::kAnsi, 0, u"ZIG(\u93C8"},  // UTF-8 cut short at the end
      // UTF-8 after all: two-byte UTF-8, then a three-byte sequence.
      {pad + "\xCD\xA8" + pad + "\xE6\x9C\xAA", TextEncoding::kUtf8, 1,
       text_pad + u"\u0368" + text_pad + u"未"},
      // ANSI after all: "函未" in UTF-8 is GBK too, and an ill-formed byte comes late.
      {"\xE5\x87\xBD\xE6\x9C\xAA" + pad + "\xC0\xB4", TextEncoding::kAnsi, 1,
       u"鍑芥湭" + text_pad + u"来"},
      // Both: UTF-8 from the three-byte sequence, ANSI from the ill-formed byte.
      {"\xCD\xA8" + pad + "\xE5\x87\xBD\xE6\x9C\xAA" + pad + "\xC0\xB4", TextEncoding::kAnsi, 2,
       u"通" + text_pad + u"鍑芥湭" + text_pad + u"来"},
  };
  for (const Case& c : cases) {
    PipeSource source(c.bytes, 0);
    CollectingSink sink;
    EXPECT_EQ(DecodeInChunks(source, GbkCodePage(), sink, 16), c.encoding) << c.bytes;
    EXPECT_EQ(sink.restarts, c.restarts) << c.bytes;
    EXPECT_EQ(sink.text, c.text) << c.bytes;
  }
}

// The sink stops wanting text early: the bytes are still checked to their end, as a later
// non-UTF-8 byte changes how all of them read; but ANSI text is read no further.
TEST(TextStreamTest, ASinkThatHasEnough) {
  const std::string bytes = "ZIG(\xE6\x9C\xAA" + std::string(500, 'x') + "\xC0\xB4";
  PipeSource late(bytes, 9);
  CollectingSink four(4);
  EXPECT_EQ(DecodeInChunks(late, GbkCodePage(), four, 16), TextEncoding::kAnsi);
  EXPECT_EQ(four.restarts, 1);
  EXPECT_EQ(four.text.substr(0, 4), u"ZIG(");
  std::string ansi = "\xC0\xB4";
  for (int i = 0; i < 20000; ++i) ansi += "x;\r\n";
  PipeSource source(ansi, 9);
  CollectingSink one(1);
  DecodeInChunks(source, GbkCodePage(), one, 64);
  EXPECT_LT(one.text.size(), 200u);
}

TEST(TextStreamTest, ALongRunOfTwoByteCharactersIsCutBetweenThem) {
  // No byte below 0x40 anywhere, and the trail bytes of 来 are lead bytes too: only counting
  // from a known boundary tells where a character ends.
  std::string bytes = "a\x81\x40";
  for (int i = 0; i < 300; ++i) bytes += "\xC0\xB4";
  PipeSource source(bytes, 6);
  CollectingSink sink;
  DecodeInChunks(source, GbkCodePage(), sink, 16);
  EXPECT_EQ(sink.text, u"a丂" + std::u16string(300, u'来'));
  EXPECT_LE(sink.largest, 16u);
}

TEST(TextStreamTest, ReadFailuresReachTheCaller) {
  class FailingSource : public ByteSource {
   public:
    std::size_t Read(char*, std::size_t) override { throw std::runtime_error("disk gone"); }
    void Rewind() override {}
  } source;
  CollectingSink sink;
  EXPECT_THROW(DecodeInChunks(source, GbkCodePage(), sink), std::runtime_error);
}

}  // namespace
}  // namespace tesqua
