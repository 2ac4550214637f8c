#include "scan/matcher.h"

#include <gtest/gtest.h>

#include <random>

#include "scan/case_folding.h"
#include "scan/text_encoding.h"
#include "scan/text_stream.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/scan_model.h"

namespace tesqua {

void PrintTo(const TextPoint& point, std::ostream* out) {
  *out << point.line << ":" << point.column;
}

namespace {

// Letters chosen to collide: the Kelvin sign and the long s fold onto ASCII k and s, U+10400
// onto U+10428 (a surrogate pair each), and a lone surrogate stays as it is.
const std::vector<std::u16string> kPieces = {
    u"a",      u"A",  u"k",  u"K", u"\u212A", u"s",          u"S",          u"\u017F",
    u"(",      u"$",  u"z",  u"Z", u"未",     u"\U00010400", u"\U00010428", u"\xD800",
    u"\xDC00", u"\r", u"\n", u"Σ", u"σ",      u"ς"};
// Letters without other spellings outside ASCII: keys of them are searched as bytes, undecoded.
const std::vector<std::u16string> kPlainPieces = {u"a", u"K", u"s", u"(", u"z", u"未", u"\r\n"};

std::u16string RandomText(std::mt19937& random, std::size_t pieces,
                          const std::vector<std::u16string>& from = kPieces) {
  std::u16string text;
  for (std::size_t i = 0; i < pieces; ++i) text += from[random() % from.size()];
  return text;
}

// Pieces of the text itself (hits are common), random keys, and "$" entries ("$" alone too).
std::vector<std::u16string> RandomKeys(std::mt19937& random, std::u16string_view text,
                                       std::size_t count,
                                       const std::vector<std::u16string>& from = kPieces) {
  std::vector<std::u16string> keys;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned kind = random() % 4;
    if (kind == 0) {
      keys.push_back(RandomText(random, random() % 5, from));
    } else if (kind == 3) {
      keys.push_back(RandomText(random, random() % 3, from).insert(0, 1, u'$'));
    } else if (!text.empty()) {
      keys.emplace_back(text.substr(random() % text.size(), 1 + random() % 9));
    }
  }
  return keys;
}

std::string Describe(const std::vector<std::u16string>& keys, std::u16string_view text) {
  return "text " + testing::PrintToString(std::u16string(text)) + "\nkeys " +
         testing::PrintToString(keys);
}

// The text whole, and fed in pieces of 0 to 5 units that split keys and surrogate pairs.
TEST(MatcherTest, AgreesWithThePlainScanWholeAndInPieces) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 2000; ++round) {
    const std::u16string text = RandomText(random, random() % 300);
    const std::size_t count = round == 0 ? 40000 : 1 + random() % 40;  // ids past 32767 too
    const std::vector<std::u16string> entries = RandomKeys(random, text, count);
    const std::vector<std::u16string> keys = model::Keys(entries);
    const Matcher matcher(keys);
    ASSERT_EQ(matcher.FirstPositions(text), model::FirstPositions(keys, text))
        << Describe(keys, text);
    MatchStream stream(matcher, true);
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
      length = random() % 6;
      stream.Feed(std::u16string_view(text).substr(at, length));
    }
    stream.Finish();
    ASSERT_EQ(stream.FirstPositions(), model::FirstPositions(keys, text)) << Describe(keys, text);
    ASSERT_EQ(stream.FirstPoints(), model::FirstPoints(keys, text)) << Describe(keys, text);
  }
}

// UTF-8 (ill-formed too) and GBK (ASCII-like trail bytes, unassigned pairs, letters with two
// spellings) searched undecoded: fed between characters, and by the stream decoder (ASCII as
// UTF-8 until GBK turns up; starting over when later bytes overturn its choice). Half the rounds
// take only the first `plain` pieces, so that keys are searched as bytes.
TEST(MatcherTest, BytesFindWhatTheirDecodedTextGives) {
  struct Encoding {
    ByteEncoding encoding;
    std::size_t plain;
    std::vector<std::string> pieces;
    std::u16string (*decode)(std::string_view);
    bool large = false;  // libraries of these pieces only, searched by bytes alone
  };
  // clang-format off
  const Encoding encodings[] = {
      {ByteEncoding::kUtf8, 14, {"a", "K", "k", "S", "s", "(", "z", "\r", "\n", "$",
        "\xE6\x9C\xAA", "\xF0\x9F\x98\x80", "\xE2\x84\xAA", "\xC5\xBF", "\xF0\x90\x90\x80",
        "\xF0\x90\x90\xA8", "\xC3\x89", "\xC3\xA9", "\xCE\xA3", "\xCF\x82", "\xC3", "\x80",
        "\xED\xA0\x80", "\xEF\xBB\xBF", "\xC0\xB4"}, DecodeUtf8},
      {ByteEncoding::kGbk, 12, {"a", "A", "z", "Z", "(", "\r", "\n", "\x81\x41", "\x81Z",
        "\xB0\x61", "\xCD\xA8", "$", "\xA3\xC1", "\xA3\xE1", "\xA6\xA1", "\xA6\xC1", "\xA2\x41",
        "\x80", "\xFF", "\x81", "\xE6\x9C\xAA"}, DecodeGbk},
      {ByteEncoding::kUtf8, 7, {"a", "B", "(", "1", "\r\n", "\xE6\x9C\xAA", "$",
        "\xF0\x90\x80\x80", "\xC2\x80"}, DecodeUtf8, true},
      {ByteEncoding::kGbk, 7, {"a", "B", "(", "\r\n", "\x81\x41", "\xB0\x61", "$"}, DecodeGbk,
       true},
  };
  // clang-format on
  std::mt19937 random(936);
  for (const Encoding& e : encodings) {
    for (int round = 0; round < 1500; ++round) {
      const bool plain = round % 2 == 1;
      const bool long_text = round % 16 == 0;            // long pieces are searched where they lie
      std::string bytes(round % 8 == 3 ? 100 : 0, 'x');  // ASCII first, fed as UTF-8
      for (std::size_t i = long_text ? 2000 : random() % 120; i > 0; --i) {
        bytes += e.pieces[random() % (plain ? e.plain : e.pieces.size())];
      }
      const std::u16string text = e.decode(bytes);
      const auto& from = plain ? kPlainPieces : kPieces;
      std::vector<std::u16string> keys = RandomKeys(random, text, 1 + random() % 30, from);
      if (e.large) {  // past the nibble filter, keys of every length, half of them found
        keys.clear();
        for (int i = 0; i < 80; ++i) {
          std::string key;
          for (std::size_t n = 1 + random() % 12; n > 0; --n)
            key += e.pieces[random() % e.pieces.size()];
          if (round % 8 == 0) key = {char('a' + i % 26), char('0' + i / 26)};  // all short
          keys.push_back(i % 2 == 0 && round % 8 != 0 && !text.empty()
                             ? text.substr(random() % text.size(), 1 + random() % 14)
                             : e.decode(key));
        }
      } else if (round % 3 == 0) {  // a large library, past the nibble filter
        for (int i = 0; i < 70; ++i) keys.push_back(RandomText(random, 3, from).insert(0, 1, u'#'));
      }
      const Matcher matcher(keys);
      MatchStream stream(matcher, true);
      std::size_t cut = 0;
      for (std::size_t at = 0; at < bytes.size();) {  // a character at a time
        std::size_t length = 1;
        if (e.encoding == ByteEncoding::kUtf8) {
          length = std::max<std::size_t>(1, Utf8SequenceLength(bytes, at));
        } else if (static_cast<unsigned char>(bytes[at]) > 0x80 && at + 1 < bytes.size()) {
          length = DecodeGbk(bytes.substr(at, 2)).size() == 1 ? 2 : 1;
        }
        at += length;
        if (random() % (long_text ? 3000 : 4) == 0 || at == bytes.size()) {
          stream.FeedBytes(std::string_view(bytes).substr(cut, at - cut), e.encoding);
          cut = at;
        }
      }
      stream.Finish();
      ASSERT_EQ(stream.FirstPoints(), model::FirstPoints(keys, text)) << Describe(keys, text);

      // Now and then the ANSI code page is not searched as bytes (a system whose code page is
      // not GBK), so that ASCII taken as UTF-8 bytes turns out to be ANSI text of units.
      MatchSink sink(matcher, true, true, round % 4 != 3);
      PipeSource source(bytes, unsigned(round));
      DecodeInChunks(source, GbkCodePage(), sink, 16 + random() % 64);
      const MatchStream& decoded = sink.Finish();
      const std::u16string whole = DecodeText(bytes, DecodeGbk);
      ASSERT_EQ(decoded.FirstPoints(), model::FirstPoints(keys, whole)) << Describe(keys, whole);
    }
  }
}

TEST(MatcherTest, StopsEarlyOnlyWhenEveryKeyIsFoundAndTakesNothingAfterTheEnd) {
  const Matcher matcher({u"ab", u"cd"});
  for (const bool bytes : {false, true}) {  // units and bytes alike
    MatchStream stream(matcher, true);
    const auto feed = [&](std::string_view piece) {
      if (bytes) return stream.FeedBytes(piece, ByteEncoding::kUtf8);
      stream.Feed(std::u16string(piece.begin(), piece.end()));
    };
    feed("xxab");
    feed("c");
    EXPECT_FALSE(stream.Done());
    feed("d");
    EXPECT_TRUE(stream.Done());
    EXPECT_EQ(stream.FirstPositions(), (std::vector<std::uint64_t>{2, 4}));
    stream.Reset();
    feed("ab\r\n\r\n");  // the last text's finds, never counted, place nothing here
    stream.Finish();
    feed("cd");
    stream.Finish();
    EXPECT_EQ(stream.FirstPositions(), (std::vector<std::uint64_t>{0, kNotFound})) << bytes;
    EXPECT_EQ(stream.FirstPoints(), (std::vector<TextPoint>{{1, 1}, {}})) << bytes;
  }
}

}  // namespace
}  // namespace tesqua
