// The batch: the same output on any number of threads, what a terminal shows while it runs,
// and ASCII widened (and folded) up to the first byte above 127.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "cli/batch.h"
#include "scan/matcher.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::TempDir;
using testing::WriteBytes;

// Bytes of every kind a formula folder holds: ASCII, UTF-8, GBK, marks, NULs, keys.
std::string RandomFormula(std::mt19937& random) {
  static const char* const kPieces[] = {
      "MA(C,5);",         "\r\n",     "zig(",         "DVOL", "#Week", "\xE6\x9C\xAA\xE6\x9D\xA5",
      "BackSet(",         "{ x }",    "\xEF\xBC\xA1", " ",    "Peak(", "\xF0\x90\x90\x80",
      "\xCE\xB4\xC0\xB4", "\xC0\xB4", "\xFF",         "\x80"};  // the last four only in files not
                                                                // UTF-8
  static const char* const kStarts[] = {"", "", "", "", "\xEF\xBB\xBF", "\xFF\xFE"};
  std::string bytes = kStarts[random() % std::size(kStarts)];
  const std::size_t kinds = random() % 2 == 0 ? 12 : 16;
  for (std::size_t i = random() % 200; i > 0; --i) bytes += kPieces[random() % kinds];
  if (random() % 40 == 0) bytes += std::string("\0\0", 2);
  return bytes;
}

struct BatchRun {
  int status;
  std::string out, err;
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
  std::filesystem::create_directories("f/sub/deeper");
  for (int i = 0; i < 400; ++i) {
    const std::string folder = i % 7 == 0 ? "f/sub/" : i % 11 == 0 ? "f/sub/deeper/" : "f/";
    std::string bytes = RandomFormula(random);
    if (i % 50 == 0) bytes.insert(0, 70000, 'x');  // read in more than one go
    WriteBytes(folder + std::to_string(random() % 100000) + "_" + std::to_string(i) +
                   (i % 13 == 0 ? ".TN6" : ".txt"),
               bytes);
  }
  const std::vector<std::u16string> entries = {u"$ZIG", u"#WEEK", u"DVOL", u"未来", u"$BACKSET"};
  ScanOptions options;
  options.recursive = true;
  options.inputs = {"f", "missing.txt", "f/sub"};
  for (const bool json : {false, true}) {
    options.json = json;
    const BatchRun one = Batch(options, entries, 1);
    for (const std::size_t threads : {2u, 3u, 8u}) {
      const BatchRun many = Batch(options, entries, threads);
      EXPECT_EQ(many.status, one.status);
      EXPECT_EQ(many.out, one.out) << threads << " threads";
      EXPECT_EQ(many.err, one.err) << threads << " threads";
    }
    // Every file but the few binary ones has its line: nothing was left out by all alike.
    EXPECT_GT(std::count(one.out.begin(), one.out.end(), '\n'), 300) << one.out;
  }
}

// What a terminal shows for the bytes written to it: a carriage return goes back to the start
// of the line, where later bytes overwrite earlier ones; trailing blanks do not show.
std::vector<std::string> Screen(std::string_view bytes) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (const char c : bytes) {
    if (c == '\n') lines.emplace_back();
    if (c == '\n' || c == '\r') {
      column = 0;
      continue;
    }
    std::string& line = lines.back();
    line.resize(std::max(line.size(), column + 1), ' ');
    line[column++] = c;
  }
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  return lines;
}

// Standard output held as a console's buffer holds it: nothing shows until it is flushed.
class HeldOutput : public std::stringbuf {
 public:
  explicit HeldOutput(std::ostream& terminal) : terminal_(terminal) {}
  int sync() override {
    terminal_ << str();
    str("");
    return 0;
  }

 private:
  std::ostream& terminal_;
};

TEST(ScanCommandBatchTest, TheProgressLineCountsFilesAndMegabytesAndNeverShowsBesideAResult) {
  TempDir dir;
  WriteBytes("a.txt", "ZIG(" + std::string(3 << 20, ' '));
  WriteBytes("b.txt", "MA(C,5)");
  WriteBytes("c.txt", std::string("\0", 1));
  ScanOptions options;
  options.inputs = {"a.txt", "b.txt", "c.txt", "d.txt"};
  std::istringstream in;
  std::ostringstream terminal;  // standard error, and where standard output shows
  HeldOutput held(terminal);
  std::ostream out(&held);
  RunBatch(options, {u"$ZIG"}, "lib.ini", in, out, terminal, true, 1, {{}, {}});
  const std::string shown = terminal.str();
  std::vector<std::string> drawn;  // with no delay, after each file
  for (std::size_t at = shown.find('\r'); at != std::string::npos; at = shown.find('\r', at + 1)) {
    std::string piece = shown.substr(at + 1, shown.find_first_of("\r\n", at + 1) - at - 1);
    piece.erase(piece.find_last_not_of(' ') + 1);
    if (piece.find('/') != std::string::npos) drawn.push_back(piece);
  }
  EXPECT_EQ(drawn, (std::vector<std::string>{"1/4 files, 3 MB", "2/4 files, 3 MB",
                                             "3/4 files, 3 MB", "4/4 files, 3 MB"}));
  const std::vector<std::string> expected = {
      "a.txt: ZIG",
      "b.txt: 没有发现未来函数！",
      "tesqua-scan: c.txt: binary file skipped",
      "tesqua-scan: d.txt: No such file or directory",
      "2 files scanned, 1 with hits, 1 could not be read, 1 skipped as binary",
      ""};
  EXPECT_EQ(Screen(shown), expected);
}

TEST(MatcherReuseTest, WidenAsciiFoldsCapitalsOnlyAndStopsAtTheFirstByteAbove127) {
  const std::string piece = "@AZ[`az{ 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ ~\x7F";
  const std::u16string kept = u"@AZ[`az{ 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ ~\x7F";
  const std::u16string folded = u"@az[`az{ 0123456789 abcdefghijklmnopqrstuvwxyz ~\x7F";
  struct Case {
    std::string bytes;
    bool fold;
    std::u16string units;  // what is widened, up to the first byte above 127
  };
  const Case cases[] = {
      {"aZ@\xC3\xA9", true, u"az@"},
      {piece + "\x80", true, folded},
      {piece + "\xFF", false, kept},
      // Long runs go on in wider blocks, which stop at a byte above 127 too.
      {piece + piece + "\xC3\xA9" + piece + piece, true, folded + folded},
      {piece + piece + piece + piece, true, folded + folded + folded + folded},
      {piece + piece + piece + piece, false, kept + kept + kept + kept},
  };
  for (const Case& c : cases) {
    std::u16string out(c.bytes.size(), u'?');
    const std::size_t widened = WidenAscii(c.bytes.data(), c.bytes.size(), out.data(), c.fold);
    EXPECT_EQ(out.substr(0, widened), c.units) << c.bytes;
  }
}

}  // namespace
}  // namespace tesqua
