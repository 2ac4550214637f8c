#include "scan/matcher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "scan/case_folding.h"
#include "scan/scan.h"
#include "scan/text_encoding.h"
#include "scan/text_stream.h"
#include "tests/scan_model.h"

namespace tesqua {
namespace {

// Letters chosen to collide: the Kelvin sign and the long s fold onto ASCII k and s, U+10400
// onto U+10428 (a surrogate pair each), and a lone surrogate stays as it is.
const std::vector<std::u16string> kPieces = {
    u"a",      u"A",  u"k",  u"K", u"\u212A", u"s",          u"S",          u"\u017F",
    u"(",      u"$",  u"z",  u"Z", u"未",     u"\U00010400", u"\U00010428", u"\xD800",
    u"\xDC00", u"\r", u"\n", u"Σ", u"σ",      u"ς"};

std::u16string RandomText(std::mt19937& random, std::size_t pieces) {
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::u16string text;
  for (std::size_t i = 0; i < pieces; ++i) text += kPieces[pick(random)];
  return text;
}

// Units in hexadecimal, for the messages of failed comparisons.
std::string Hex(std::u16string_view text) {
  std::string hex;
  for (const char16_t unit : text) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X ", unsigned(unit));
    hex += digits;
  }
  return hex;
}

std::string Describe(const std::vector<std::u16string>& keys, std::u16string_view text) {
  std::string description = "text: " + Hex(text) + "\nkeys:";
  for (const std::u16string& key : keys) description += "\n  " + Hex(key);
  return description;
}

std::vector<std::u16string> RandomKeys(std::mt19937& random, std::u16string_view text,
                                       std::size_t count) {
  std::vector<std::u16string> keys;
  std::uniform_int_distribution<int> kind(0, 3);
  for (std::size_t i = 0; i < count; ++i) {
    switch (kind(random)) {
      case 0:
        keys.push_back(
            RandomText(random, std::uniform_int_distribution<std::size_t>(0, 4)(random)));
        break;
      case 1:
      case 2: {  // a piece of the text itself, so that hits are common
        if (text.empty()) break;
        const std::size_t at =
            std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(random);
        const std::size_t length = std::uniform_int_distribution<std::size_t>(1, 9)(random);
        keys.emplace_back(text.substr(at, length));
        break;
      }
      default:
        // "$" alone among them: its key is "(".
        keys.push_back(RandomText(random, std::uniform_int_distribution<std::size_t>(0, 2)(random))
                           .insert(0, 1, u'$'));
        break;
    }
  }
  return keys;
}

TEST(MatcherTest, AgreesWithThePlainRuleOnGeneratedLibrariesAndTexts) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 2000; ++round) {
    const std::u16string text =
        RandomText(random, std::uniform_int_distribution<std::size_t>(0, 300)(random));
    const std::vector<std::u16string> entries =
        RandomKeys(random, text, std::uniform_int_distribution<std::size_t>(1, 40)(random));
    if (entries.empty()) continue;  // no verdict without a library
    const std::vector<std::u16string> keys = model::Keys(entries);
    ASSERT_EQ(Matcher(keys).FirstPositions(text), model::FirstPositions(keys, text))
        << Describe(keys, text);
    const model::Verdict expected = model::Scan(entries, text);
    const ScanResult result = ScanText(entries, text);
    ASSERT_EQ(result.verdict, expected.text) << "round " << round;
    ASSERT_EQ(result.hit_count, expected.hits);
  }
}

TEST(MatcherTest, PiecesOfAnySizeGiveTheSamePositionsAndPoints) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const std::u16string text =
        RandomText(random, std::uniform_int_distribution<std::size_t>(0, 200)(random));
    const std::vector<std::u16string> keys = RandomKeys(random, text, 12);
    const Matcher matcher(keys);
    MatchStream stream(matcher, true);
    std::size_t at = 0;
    while (at < text.size()) {  // pieces of 0 to 5 units split keys and surrogate pairs
      const std::size_t length = std::uniform_int_distribution<std::size_t>(0, 5)(random);
      stream.Feed(std::u16string_view(text).substr(at, length));
      at += length;
    }
    stream.Finish();
    const std::vector<std::uint64_t> expected = model::FirstPositions(keys, text);
    ASSERT_EQ(stream.FirstPositions(), expected) << "round " << round;
    const std::vector<TextPoint> points = stream.FirstPoints();
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const model::Point at =
          expected[k] == kNotFound ? model::Point{0, 0} : model::PointAt(text, expected[k]);
      ASSERT_EQ(points[k], (TextPoint{at.line, at.column})) << "round " << round << " key " << k;
    }
  }
}

// Bytes of UTF-8 (ill-formed ones too) and of GBK (trail bytes that look like ASCII letters,
// unassigned pairs, Greek and full-width letters with two spellings), fed undecoded in pieces
// that end between characters, find what the decoded text gives.
TEST(MatcherTest, BytesFindWhatTheirDecodedTextGives) {
  struct Encoding {
    ByteEncoding encoding;
    std::vector<std::string> pieces;
    std::u16string (*decode)(std::string_view);
    bool large = false;  // libraries of these pieces only, searched by bytes alone
  };
  const Encoding encodings[] = {
      {ByteEncoding::kUtf8,
       {"a",
        "K",
        "k",
        "S",
        "s",
        "(",
        "z",
        "\r",
        "\n",
        "\xE2\x84\xAA" /* Kelvin sign */,
        "\xC5\xBF" /* long s */,
        "\xE6\x9C\xAA",
        "\xF0\x90\x90\x80",
        "\xF0\x90\x90\xA8",
        "\xC3\x89",
        "\xC3\xA9",
        "\xCE\xA3",
        "\xCF\x82",
        "\xC3",
        "\x80",
        "\xED\xA0\x80",
        "$"},
       DecodeUtf8},
      {ByteEncoding::kGbk,
       {"a", "A", "z", "Z", "(", "\r", "\n",
        "\x81"
        "A",
        "\x81Z",
        "\xB0"
        "a",
        "\xA3\xC1", "\xA3\xE1", "\xA6\xA1", "\xA6\xC1",
        "\xA2"
        "A",
        "\x80", "\xFF", "\x81", "$"},
       DecodeGbk},
      {ByteEncoding::kUtf8, {"a", "B", "(", "1", "\r\n", "\xE6\x9C\xAA", "$"}, DecodeUtf8, true},
      {ByteEncoding::kGbk,
       {"a", "B", "(", "\r\n",
        "\x81"
        "A",
        "\xB0"
        "a",
        "$"},
       DecodeGbk,
       true},
  };
  std::mt19937 random(936);
  for (const Encoding& e : encodings) {
    for (int round = 0; round < 1500; ++round) {
      std::string bytes;
      const bool long_text = round % 16 == 0;  // long pieces are searched where they lie
      const std::size_t count = long_text ? 2000 : random() % 120;
      for (std::size_t i = 0; i < count; ++i) bytes += e.pieces[random() % e.pieces.size()];
      const std::u16string text = e.decode(bytes);
      std::vector<std::u16string> keys = RandomKeys(random, text, 1 + random() % 30);
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
        for (int i = 0; i < 70; ++i) keys.push_back(RandomText(random, 3).insert(0, 1, u'#'));
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
      const std::vector<std::uint64_t> expected = model::FirstPositions(keys, text);
      const std::vector<std::uint64_t> found = stream.FirstPositions();
      const std::vector<TextPoint> points = stream.FirstPoints();
      for (std::size_t k = 0; k < keys.size(); ++k) {
        ASSERT_EQ(found[k] != kNotFound, expected[k] != kNotFound)
            << "round " << round << " key " << k << "\n"
            << Describe(keys, text);
        if (expected[k] != kNotFound) {
          const model::Point at = model::PointAt(text, expected[k]);
          ASSERT_EQ(points[k], (TextPoint{at.line, at.column}))
              << "round " << round << " key " << k << "\n"
              << Describe(keys, text);
        }
      }
    }
  }
}

// The stream decoder's pieces, bytes wherever it can: ASCII first as UTF-8, then UTF-8 or GBK
// as the later bytes decide, restarts included.
TEST(MatcherTest, BytesFromTheStreamDecoderFindWhatTheDecodedTextGives) {
  class Sink : public TextSink {
   public:
    explicit Sink(MatchStream& stream) : stream_(stream) {}
    void Restart() override { stream_.Reset(); }
    bool Take(std::u16string_view units, bool folded) override {
      stream_.Feed(units, folded);
      return !stream_.Done();
    }
    bool TakesBytes(ByteEncoding) const override { return true; }
    bool TakeBytes(std::string_view bytes, ByteEncoding encoding) override {
      stream_.FeedBytes(bytes, encoding);
      return !stream_.Done();
    }

   private:
    MatchStream& stream_;
  };
  const std::string pieces[] = {"zig(",         "ZIG(",     "a",     "\r\n",     "\xE2\x84\xAA",
                                "\xE6\x9C\xAA", "\xCD\xA8", "\x81Z", "\xA6\xA1", "\xC0\xB4",
                                "\xEF\xBB\xBF", "\xFF\xFE"};
  std::mt19937 random(54936);
  for (int round = 0; round < 1500; ++round) {
    std::string bytes;
    for (std::size_t i = random() % 400; i > 0; --i) {
      bytes += pieces[random() % (i < 300 ? std::size(pieces) : 4)];  // ASCII first, often
    }
    const std::u16string text = DecodeText(bytes, DecodeGbk);
    std::vector<std::u16string> keys = RandomKeys(random, text, 1 + random() % 20);
    keys.push_back(u"\u03A3");  // a letter with other spellings: found by decoding
    const Matcher matcher(keys);
    MatchStream stream(matcher);
    Sink sink(stream);
    class Source : public ByteSource {
     public:
      explicit Source(const std::string& bytes) : bytes_(bytes) {}
      std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = bytes_.copy(buffer, std::min<std::size_t>(size, 7), at_);
        at_ += count;
        return count;
      }
      void Rewind() override { at_ = 0; }

     private:
      const std::string& bytes_;
      std::size_t at_ = 0;
    } source(bytes);
    DecodeInChunks(source, GbkCodePage(), sink, 16 + random() % 64);
    stream.Finish();
    const std::vector<std::uint64_t> expected = model::FirstPositions(keys, text);
    const std::vector<std::uint64_t> found = stream.FirstPositions();
    for (std::size_t k = 0; k < keys.size(); ++k) {
      ASSERT_EQ(found[k] != kNotFound, expected[k] != kNotFound)
          << "round " << round << " key " << k << "\n"
          << Describe(keys, text);
    }
  }
}

TEST(MatcherTest, KeysAcrossTheInnerPiecesOfALongText) {
  // Feed cuts a long text into pieces of its own; keys are planted around those cuts.
  std::u16string text(100000, u'x');
  const std::vector<std::u16string> keys = {u"flatzig(", u"ZIG(", u"dvol", u"\U00010428x", u"K"};
  for (std::size_t cut : {16384u, 32768u, 49152u}) {
    for (std::size_t back = 1; back < 9; ++back) {
      std::u16string planted = text;
      planted.replace(cut - back, 8, u"FLATZIG(");
      planted.replace(70000 - back, 3, u"\U00010400X");
      planted.back() = u'\u212A';  // a key at the very end
      EXPECT_EQ(Matcher(keys).FirstPositions(planted), model::FirstPositions(keys, planted));
    }
  }
}

TEST(MatcherTest, TheEmptyKeyAndTheEmptyText) {
  const Matcher matcher({u"", u"(", u"abc"});
  EXPECT_EQ(matcher.FirstPositions(u""),
            (std::vector<std::uint64_t>{kNotFound, kNotFound, kNotFound}));
  EXPECT_EQ(matcher.FirstPositions(u"x(abC"), (std::vector<std::uint64_t>{0, 1, 2}));
  const Matcher none({});
  EXPECT_TRUE(none.FirstPositions(u"abc").empty());
}

TEST(MatcherTest, EqualKeysInAnyCaseShareTheirPosition) {
  const Matcher matcher({u"Zig(", u"ZIG(", u"zig(", u"ziga("});
  EXPECT_EQ(matcher.FirstPositions(u"FlatZig(1)+ZIGA(2)"),
            (std::vector<std::uint64_t>{4, 4, 4, 11}));
}

TEST(MatcherTest, StopsEarlyOnlyWhenEveryKeyIsFound) {
  const Matcher matcher({u"ab", u"cd"});
  MatchStream stream(matcher);
  stream.Feed(u"xxab");
  EXPECT_FALSE(stream.Done());
  stream.Feed(u"c");
  stream.Feed(u"d");
  EXPECT_TRUE(stream.Done());
  stream.Finish();
  EXPECT_EQ(stream.FirstPositions(), (std::vector<std::uint64_t>{2, 4}));
}

TEST(MatcherTest, MoreThan32767EntriesAgreeWithThePlainRule) {
  std::mt19937 random(32767);
  const std::u16string text = RandomText(random, 3000) + u"FN12345(" + u"dvol";
  std::vector<std::u16string> entries = RandomKeys(random, text, 40000);
  for (int i = 0; i < 2000; ++i) entries.push_back(RandomText(random, 3).insert(0, u"$FN"));
  entries.push_back(u"$FN12345");
  const std::vector<std::u16string> keys = model::Keys(entries);
  const std::vector<std::uint64_t> positions = Matcher(keys).FirstPositions(text);
  ASSERT_EQ(positions, model::FirstPositions(keys, text));
  EXPECT_NE(positions.back(), kNotFound);
}

TEST(MatcherTest, FoldUnitsAgreesWithFoldCaseOnEveryBasicPlaneUnit) {
  std::u16string all;
  for (char32_t unit = 0; unit < 0x10000; ++unit) all.push_back(char16_t(unit));
  std::u16string folded(all.size(), u'\0');
  FoldUnits(all.data(), all.size(), folded.data());
  EXPECT_EQ(folded, FoldCase(all));
}

}  // namespace
}  // namespace tesqua
