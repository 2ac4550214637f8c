// The batch's parts that keep memory from file to file and run on several threads: whatever
// they keep, and however many threads there are, the output is that of one fresh scan per
// file, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "cli/batch.h"
#include "cli/file_scan.h"
#include "cli/folder_listing.h"
#include "cli/report.h"
#include "platform/platform.h"
#include "scan/case_folding.h"
#include "scan/library.h"
#include "scan/matcher.h"
#include "scan/scan.h"
#include "scan/text_stream.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::TempDir;
using testing::WriteBytes;

// Bytes of every kind a formula folder holds: ASCII, UTF-8, GBK, marks, NULs, keys.
std::string RandomFormula(std::mt19937& random) {
  static const std::vector<std::string> kPieces = {"MA(C,5);",
                                                   "\r\n",
                                                   "zig(",
                                                   "DVOL",
                                                   "#Week",
                                                   "\xE6\x9C\xAA\xE6\x9D\xA5",
                                                   "\xCE\xB4\xC0\xB4",
                                                   "\xC0\xB4",
                                                   "\xFF",
                                                   "\x80",
                                                   "BackSet(",
                                                   "{ x }",
                                                   "\xEF\xBC\xA1",
                                                   " ",
                                                   "Peak(",
                                                   "\xF0\x90\x90\x80"};
  static const std::vector<std::string> kStarts = {"", "", "", "", "\xEF\xBB\xBF", "\xFF\xFE"};
  std::string bytes = kStarts[random() % kStarts.size()];
  const std::size_t count = random() % 200;
  const bool utf8_only = random() % 2 == 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& piece = kPieces[random() % kPieces.size()];
    if (utf8_only && (piece == "\xC0\xB4" || piece == "\xFF" || piece == "\x80" ||
                      piece == "\xCE\xB4\xC0\xB4")) {
      continue;
    }
    bytes += piece;
  }
  if (random() % 40 == 0) bytes += std::string("\0\0", 2);
  return bytes;
}

struct BatchRun {
  int status;
  std::string out;
  std::string err;
};

BatchRun Batch(const ScanOptions& options, const std::vector<std::u16string>& entries,
               std::size_t threads) {
  std::istringstream in;
  std::ostringstream out, err;
  const int status = RunBatch(options, entries, "lib.ini", in, out, err, false, threads);
  return {status, out.str(), err.str()};
}

TEST(ScanCommandBatchTest, ManyThreadsPrintWhatOneThreadPrintsInTheSameOrder) {
  TempDir dir;
  std::mt19937 random(2026);
  WriteBytes("lib.ini", "$ZIG\r\n#WEEK\r\nDVOL\r\n\xCE\xB4\xC0\xB4\r\n$BACKSET\r\n");
  std::filesystem::create_directories("f/sub/deeper");
  std::vector<std::string> files;
  for (int i = 0; i < 400; ++i) {
    const char* folder = i % 7 == 0 ? "f/sub/" : i % 11 == 0 ? "f/sub/deeper/" : "f/";
    files.push_back(folder + std::to_string(random() % 100000) + "_" + std::to_string(i) +
                    (i % 13 == 0 ? ".TN6" : ".txt"));
    std::string bytes = RandomFormula(random);
    if (i % 50 == 0) bytes = std::string(70000, 'x') + bytes;  // read in more than one go
    WriteBytes(files.back(), bytes);
  }
  WriteBytes("f/ignored.doc", "ZIG(");
  const std::vector<std::u16string> entries = ReadLibrary("lib.ini", DecodeAnsiCodePage);

  ScanOptions options;
  options.recursive = true;
  options.inputs = {"f", "missing.txt", "f/sub"};
  const BatchRun one = Batch(options, entries, 1);
  for (const std::size_t threads : {2u, 3u, 8u}) {
    const BatchRun many = Batch(options, entries, threads);
    EXPECT_EQ(many.status, one.status);
    EXPECT_EQ(many.out, one.out) << threads << " threads";
    EXPECT_EQ(many.err, one.err) << threads << " threads";
  }
  options.json = true;
  const BatchRun json = Batch(options, entries, 1);
  EXPECT_EQ(Batch(options, entries, 4).out, json.out);

  // And that output is one fresh scan per file, in the order of the paths: f, then f/sub
  // again after the missing file.
  std::sort(files.begin(), files.end());
  const Matcher matcher(SearchKeys(entries));
  BatchTotals totals;
  totals.unreadable = 1;
  std::string expected;
  for (const std::string_view prefix : {"f/", "f/sub/"}) {
    for (const std::string& file : files) {
      if (!file.starts_with(prefix)) continue;
      const FileScan scan = ScanFile(file, matcher, ScanSettings{false, true, nullptr});
      if (scan.outcome == FileScan::Outcome::kBinary) {
        ++totals.skipped;
        continue;
      }
      ++totals.scanned;
      if (std::any_of(scan.first_positions.begin(), scan.first_positions.end(),
                      [](std::uint64_t at) { return at != kNotFound; })) {
        ++totals.with_hits;
      }
      expected += TextLine(file, entries, scan);
    }
  }
  EXPECT_GT(totals.skipped, 0u);
  EXPECT_GT(totals.with_hits, 0u);
  EXPECT_EQ(one.out, expected + TextSummary(totals));
  EXPECT_NE(one.err.find("missing.txt"), std::string::npos);
}

TEST(ScanCommandBatchTest, AFolderTellsTheKindsOfItsEntries) {
  TempDir dir;
  std::filesystem::create_directories("f/folder");
  WriteBytes("f/file.txt", "ZIG(");
  std::error_code error;
  std::filesystem::create_symlink("file.txt", "f/to_file.txt", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  std::filesystem::create_directory_symlink("folder", "f/to_folder", error);
  std::filesystem::create_symlink("nowhere.txt", "f/broken.txt", error);
  std::vector<FolderEntry> entries;
  std::string why;
  ASSERT_TRUE(ListFolder("f", entries, why)) << why;
  std::map<std::string, FolderEntry::Kind> kinds;
  for (const FolderEntry& entry : entries) kinds[entry.utf8_name] = entry.kind;
  const std::map<std::string, FolderEntry::Kind> expected = {
      {"folder", FolderEntry::Kind::kFolder},
      {"file.txt", FolderEntry::Kind::kFile},
      {"to_file.txt", FolderEntry::Kind::kFile},
      {"to_folder", FolderEntry::Kind::kOther},  // walked where it is, not through the link
      {"broken.txt", FolderEntry::Kind::kOther},
  };
  EXPECT_EQ(kinds, expected);
  EXPECT_FALSE(ListFolder("missing", entries, why));
  EXPECT_FALSE(why.empty());
}

TEST(ScanCommandBatchTest, AReusedScannerAnswersAsAFreshOne) {
  std::mt19937 random(11);
  const std::vector<std::u16string> entries = {u"$ZIG", u"DVOL", u"#WEEK", u"未来", u"$BACKSET"};
  const Matcher matcher(SearchKeys(entries));
  for (const bool json : {false, true}) {
    const ScanSettings settings{json, true, nullptr};
    FileScanner scanner(matcher, settings);
    for (int round = 0; round < 500; ++round) {
      std::string bytes = RandomFormula(random);
      if (round % 100 == 0) bytes += std::string(70000, 'y') + "dvol";  // streamed
      const FileScan reused = scanner.ScanBytes(bytes);
      const FileScan fresh = ScanBytes(bytes, matcher, settings);
      ASSERT_EQ(reused.outcome, fresh.outcome) << round;
      ASSERT_EQ(reused.encoding, fresh.encoding) << round;
      ASSERT_EQ(reused.first_positions, fresh.first_positions) << round;
      ASSERT_EQ(reused.first_points, fresh.first_points) << round;
    }
  }
}

class CollectingSink : public TextSink {
 public:
  void Restart() override { text.clear(); }
  bool Take(std::u16string_view units, bool folded) override {
    text += folded ? std::u16string(units) : FoldCase(units);
    return true;
  }
  bool TakesFolded() const override { return true; }
  std::u16string text;
};

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = bytes_.copy(buffer, std::min<std::size_t>(size, 5), at_);
    at_ += count;
    return count;
  }
  void Rewind() override { at_ = 0; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

TEST(TextStreamWholeTest, BytesInMemoryDecodeAsTheirChunksDo) {
  std::mt19937 random(936);
  std::vector<char16_t> units;  // kept from text to text, as a scanner keeps it
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = RandomFormula(random);
    CollectingSink whole, chunked;
    StringSource source(bytes);
    const TextEncoding encoding = DecodeBytes(bytes, GbkCodePage(), whole, units);
    ASSERT_EQ(encoding, DecodeInChunks(source, GbkCodePage(), chunked, 8)) << round;
    ASSERT_EQ(whole.text, chunked.text) << round;
    ASSERT_EQ(whole.text, FoldCase(DecodeText(bytes, DecodeGbk))) << round;
  }
}

TEST(MatcherReuseTest, AResetStreamFindsWhatAFreshStreamFinds) {
  std::mt19937 random(5);
  const std::u16string pieces[] = {u"a",          u"K",    u"\u212A", u"zig(", u"未",
                                   u"\U00010400", u"\r\n", u"\xD800", u"dvol", u"x"};
  const std::vector<std::u16string> keys = {u"ZIG(", u"k", u"未a", u"\U00010428", u"", u"DVOL"};
  const Matcher matcher(keys);
  MatchStream reused(matcher, true);
  for (int round = 0; round < 500; ++round) {
    std::u16string text;
    const std::size_t count = random() % 60;
    for (std::size_t i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    reused.Reset();
    MatchStream fresh(matcher, true);
    for (std::size_t at = 0; at < text.size(); at += 7) {
      const std::u16string_view piece = std::u16string_view(text).substr(at, 7);
      reused.Feed(piece);
      fresh.Feed(piece);
    }
    reused.Finish();
    fresh.Finish();
    ASSERT_EQ(reused.FirstPositions(), fresh.FirstPositions()) << round;
    ASSERT_EQ(reused.FirstPoints(), fresh.FirstPoints()) << round;
    ASSERT_EQ(reused.Length(), fresh.Length()) << round;
  }
}

TEST(MatcherReuseTest, WidenAsciiStopsAtTheFirstByteAbove127) {
  std::mt19937 random(127);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(random() % 300, 'a');
    for (char& c : bytes) c = char(0x20 + random() % 0x5F);
    if (!bytes.empty() && random() % 4 != 0)
      bytes[random() % bytes.size()] = char(0x80 + random() % 0x80);
    const bool fold = random() % 2 == 0;
    std::size_t ascii = 0;
    while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80) ++ascii;
    std::u16string out(bytes.size(), u'?');
    ASSERT_EQ(WidenAscii(bytes.data(), bytes.size(), out.data(), fold), ascii) << round;
    for (std::size_t i = 0; i < ascii; ++i) {
      const char c = bytes[i];
      ASSERT_EQ(out[i], char16_t(fold && c >= 'A' && c <= 'Z' ? c + 0x20 : c)) << round;
    }
  }
}

}  // namespace
}  // namespace tesqua
