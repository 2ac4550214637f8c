#include "cli/scan_command.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "cli/batch.h"
#include "cli/mapped_file.h"
#include "cli/output.h"
#include "scan/matcher.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::TempDir;
using testing::WriteBytes;

// Bytes the heap has handed out and not had back, on every thread.
long long HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
}

struct CommandRun {
  int status;
  std::string out, err;
};

CommandRun Scan(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunScanCommand(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(ScanCommandTest, TheSingleFormPrintsTheWindowsVerdictAsUtf8) {
  TempDir dir;
  struct Case {
    std::string library;  // none: code.ini, written with the defaults where it is missing
    std::string input;
    int status;
    std::string out;
    std::string in_err = "";  // found in standard error
  };
  const Case cases[] = {
      {"\xCE\xB4\xC0\xB4\r\n", "// \xE6\x9C\xAA\xE6\x9D\xA5", kExitFound,
       "\r\n注意：发现未来函数未来！\n"},  // GBK, UTF-8
      // GBK whose "通" (CD A8) is also valid two-byte UTF-8, in the library and in formulas.
      {"$ZIG\r\n\xCD\xA8\r\nDVOL\r\n", "X:=\xE6\xB5\x81\xE9\x80\x9A;", kExitFound,
       "\r\n注意：发现未来函数通！\n"},
      {"\xCD\xA8\r\n", "\xD6\xB8\xCD\xA8", kExitFound, "\r\n注意：发现未来函数通！\n"},
      // Binary or encrypted, as in a batch: no verdict. Text's own control characters are text.
      {"DVOL\r\n", std::string("\0DVOL", 5), kExitError, "",
       "standard input: cannot be checked (binary or encrypted); open it in the charting program"},
      {"DVOL\r\n", "A:=DVOL;B:=1;\x1B[0m", kExitError, "", "cannot be checked"},
      {"DVOL\r\n", "A:=DVOL;\t\v\f\r\n\x1A\r\n", kExitFound, "\r\n注意：发现未来函数DVOL！\n"},
      {"", "A:=ZIG(C,5);\nB:=DVOL;", kExitFound,
       "\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数DVOL！\n"},
      {"", "MA(C,5)", kExitNoneFound, "没有发现未来函数！\n"},
  };
  for (const Case& c : cases) {
    WriteBytes("lib.ini", c.library);
    const CommandRun run =
        Scan(c.library.empty() ? std::vector<std::string>{}
                               : std::vector<std::string>{"--library", "lib.ini", "-"},
             c.input);
    EXPECT_EQ(run.status, c.status) << c.input;
    EXPECT_EQ(run.out, c.out) << c.input;
    EXPECT_NE(run.err.find(c.in_err), std::string::npos) << run.err;
  }
  // Typed at a terminal with no path named, it says where it reads; "-" is asked for.
  for (const bool named : {false, true}) {
    std::istringstream typed("MA(C,5)");
    std::ostringstream out, err;
    RunScanCommand(named ? std::vector<std::string>{"-"} : std::vector<std::string>{}, typed, out,
                   err, false, true);
    EXPECT_EQ(err.str(), named ? ""
                               : "tesqua-scan: reading the formula from standard input (end "
                                 "it with Ctrl+D)\n");
  }
}

TEST(ScanCommandTest, AFolderThatCannotHoldTheLibraryIsScannedWithTheDefaults) {
  TempDir dir;
  std::filesystem::remove(dir.path);  // nothing can be created in a removed current folder
  const CommandRun run = Scan({}, "B:=DVOL;");
  EXPECT_EQ(run.status, kExitFound);
  EXPECT_EQ(run.out, "\r\n注意：发现未来函数DVOL！\n");
  EXPECT_EQ(run.err,
            "tesqua-scan: cannot write code.ini: No such file or directory; using the built-in "
            "defaults\n");
}

// One folder of formulas in every encoding and of every kind, and files named like the library.
TEST(ScanCommandTest, FilesPrintALineEachInOrderThenTheSummaryAndErrorsNameTheFile) {
  TempDir dir;
  std::filesystem::create_directories("f/sub");
  WriteBytes("lib.ini", "$ZIG\r\n#WEEK\r\nDVOL\r\n\xCE\xB4\xC0\xB4\r\n");
  WriteBytes("f/a.txt", "A:=1;\r\n  B:=zig(C,5)+dvol;\r\n{\xCE\xB4\xC0\xB4}");  // GBK
  WriteBytes("f/b.TXT", "MA(C,5);");
  WriteBytes("f/sub/c.tn6", "\xE6\x9C\xAA\xE6\x9D\xA5 #Week");  // UTF-8
  WriteBytes("f/d.txt", std::string("ZIG(\0\0", 6));
  WriteBytes("f/e.doc", "ZIG(");
  WriteBytes("f/g.txt", std::string("\xFF\xFEZ\0I\0G\0(\0", 10));  // UTF-16 LE
  WriteBytes("f/h.txt", std::string("\xFE\xFF\0D\0V\0O\0L", 10));  // UTF-16 BE
  WriteBytes("f/txt", "ZIG(");
  WriteBytes("f/.txt", "ZIG(");
  WriteBytes("f/sub/code.ini", "DVOL");
  std::filesystem::create_symlink("a.txt", "f/to_a.txt");
  std::filesystem::create_directory_symlink("sub", "f/to_sub");  // not walked through
  std::filesystem::create_symlink("nowhere.txt", "f/broken.txt");
  WriteBytes("empty.ini", "");
  WriteBytes("q\"\\\x1f.txt", "ZIG(");
  WriteBytes("\xCE\xB4\xC0.txt", "MA");  // a GBK name, no UTF-8
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;
    std::string in_err = "";  // found in standard error
    bool no_err = false;      // standard error stays empty
  };
  // clang-format off
  // A binary file was not checked: never "nothing found" (status 0), nor a verdict.
  const Case cases[] = {
      {{"--library", "lib.ini", "-r", "f"}, "", kExitError,
       "f/a.txt: ZIG, DVOL, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/to_a.txt: ZIG, DVOL, 未来\n"
       "6 files scanned, 5 with hits, 0 could not be read, 1 could not be checked (binary or encrypted)\n",
       "f/d.txt: cannot be checked (binary or encrypted)"},
      {{"--library", "lib.ini", "f/d.txt"}, "", kExitError, "", "f/d.txt: cannot be checked"},
      // Extensions choose the files of folders only.
      {{"--library=lib.ini", "f", "-r", "--ext=.DOC,tn6", "f/b.TXT"}, "", kExitFound,
       "f/e.doc: ZIG\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "3 files scanned, 2 with hits, 0 could not be read, 0 could not be checked (binary or encrypted)\n"},
      {{"--library", "lib.ini", "-rl", "--ext", "*", "f"}, "", kExitError,
       "f/.txt\nf/a.txt\nf/e.doc\nf/g.txt\nf/h.txt\n"
       "f/sub/c.tn6\nf/to_a.txt\nf/txt\n"},
      // The current folder but the libraries: the one written there and used, and any other
      // folder's code.ini; no input read.
      {{"-rl", "--ext", "ini"}, "ZIG(", kExitFound, "lib.ini\n"},
      {{"-r", "--ext", ","}, "", kExitError, "", "--ext names no extension: \",\""},
      {{"--library", "lib.ini", "-rl", "f", "missing.txt"}, "", kExitError,
       "f/a.txt\nf/g.txt\nf/h.txt\nf/sub/c.tn6\nf/to_a.txt\n",
       "missing.txt"},
      {{"--library", "lib.ini", "--files-with-hits", "f/b.TXT"}, "", kExitNoneFound, ""},
      // The clean files only, not the binary one; names ended by NUL.
      {{"--library", "lib.ini", "-L0r", "f"}, "", kExitError, std::string("f/b.TXT\0", 8)},
      // The first hit ends the run: the binary file after it is never met.
      {{"--library", "lib.ini", "-qr", "f"}, "", kExitFound, ""},
      {{"--library", "lib.ini", "-s", "f/d.txt", "missing.txt"}, "", kExitError,
       "0 files scanned, 0 with hits, 1 could not be read, 1 could not be checked (binary or encrypted)\n", "", true},
      {{"--library", "lib.ini", "-rl", "--include=*.doc", "--include", "?.t*", "--exclude", "g*", "f"}, "", kExitError,
       "f/a.txt\nf/e.doc\nf/h.txt\nf/sub/c.tn6\n"},
      // One batch, one summary, also for one name.
      {{"--library", "lib.ini", "-0", "--files-from", "-"}, std::string("f/b.TXT\0\0", 9), kExitNoneFound,
       "f/b.TXT: 没有发现未来函数！\n"
       "1 file scanned, 0 with hits, 0 could not be read, 0 could not be checked (binary or encrypted)\n"},
      {{"--library", "lib.ini", "f/b.TXT", "-"}, "MA(C,5)", kExitNoneFound,
       "f/b.TXT: 没有发现未来函数！\n"
       "-: 没有发现未来函数！\n"
       "2 files scanned, 0 with hits, 0 could not be read, 0 could not be checked (binary or encrypted)\n"},
      {{"--library", "empty.ini", "-r", "f"}, "", kExitNoVerdict, "", "empty.ini"},
      {{"--library", "lib.ini", "missing.txt", "f", "f/b.TXT"}, "", kExitError,
       "f/b.TXT: 没有发现未来函数！\n"
       "1 file scanned, 0 with hits, 2 could not be read, 0 could not be checked (binary or encrypted)\n",
       "f: is a folder (use -r)\n"},
      {{"--library", "lib.ini", "--json", "missing.txt"}, "", kExitError,
       "{\"path\":\"missing.txt\",\"error\":\"No such file or directory\"}\n"
       "{\"summary\":{\"scanned\":0,\"with_hits\":0,\"unreadable\":1,\"skipped\":0}}\n"},
      // The first occurrence of each hit, and strings escaped.
      {{"--library", "lib.ini", "--json", "f/a.txt", "f/sub/c.tn6", "f/d.txt", "q\"\\\x1f.txt", "\xCE\xB4\xC0.txt"}, "", kExitError,
       "{\"path\":\"f/a.txt\",\"encoding\":\"ansi\",\"hits\":["
       "{\"entry\":\"$ZIG\",\"name\":\"ZIG\",\"line\":2,\"column\":6},"
       "{\"entry\":\"DVOL\",\"name\":\"DVOL\",\"line\":2,\"column\":15},"
       "{\"entry\":\"未来\",\"name\":\"未来\",\"line\":3,\"column\":2}]}\n"
       "{\"path\":\"f/sub/c.tn6\",\"encoding\":\"utf-8\",\"hits\":["
       "{\"entry\":\"#WEEK\",\"name\":\"#WEEK\",\"line\":1,\"column\":4},"
       "{\"entry\":\"未来\",\"name\":\"未来\",\"line\":1,\"column\":1}]}\n"
       "{\"path\":\"f/d.txt\",\"skipped\":\"binary\"}\n"
       "{\"path\":\"q\\\"\\\\\\u001f.txt\",\"encoding\":\"utf-8\",\"hits\":["
       "{\"entry\":\"$ZIG\",\"name\":\"ZIG\",\"line\":1,\"column\":1}]}\n"
       "{\"path\":{\"bytes\":\"zrTALnR4dA==\"},\"encoding\":\"utf-8\",\"hits\":[]}\n"
       "{\"summary\":{\"scanned\":4,\"with_hits\":3,\"unreadable\":0,\"skipped\":1}}\n"},
      // Errors print no verdict; standard error names the file or the fault.
      {{"--library", "missing.ini", "-"}, "ZIG(", kExitError, "",
       "missing.ini: No such file or directory"},
      {{"--library", ".", "-"}, "ZIG(", kExitError, "", ".: is a directory"},
      {{"--library"}, "ZIG(", kExitError, "", "Usage: tesqua-scan"},
      {{"--frobnicate=1"}, "ZIG(", kExitError, "", "unknown option --frobnicate=1\n"},
      {{"-xr"}, "ZIG(", kExitError, "", "unknown option -x\n"},
      {{"--json=yes"}, "ZIG(", kExitError, "", "--json takes no value\n"},
      {{"--", "--json"}, "ZIG(", kExitError, "", "cannot read --json"},
      {{"-", "-"}, "ZIG(", kExitError, "", "standard input"},
      {{"f"}, "ZIG(", kExitError, "", "f: is a folder (use -r)\n"},
      {{"-L", "--json", "-"}, "ZIG(", kExitError, "", "--json, -l and -L do not go together"},
      {{"--library", "empty.ini"}, "ZIG(", kExitNoVerdict, "", "empty.ini"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const CommandRun run = Scan(c.args, c.input);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.out, c.out) << ::testing::PrintToString(c.args);
    EXPECT_NE(run.err.find(c.in_err), std::string::npos) << run.err;
    EXPECT_TRUE(!c.no_err || run.err.empty()) << run.err;
  }
}

// Large files are read in chunks; a late GBK byte makes the scan start over, after the matcher
// may already have told the decoder that it needed no more.
// Windows text in files and pipes: a line feed alone goes on as CR LF, also where the writes
// cut a CR LF in two. A full device ends the writing with its reason; nothing goes after it.
TEST(ScanCommandTest, LineFeedsGoOnAsCrLfWhereverTheWritesAreCut) {
  struct Collecting : ReportingBuffer {
    std::string bytes;
    std::size_t room = std::string::npos;  // what the device takes before it is full
    std::streamsize xsputn(const char* text, std::streamsize count) override {
      const std::size_t taken = std::min(room - bytes.size(), std::size_t(count));
      bytes.append(text, taken);
      if (taken < std::size_t(count)) Fail("No space left on device");
      return std::streamsize(taken);
    }
    int sync() override { return Failure().empty() ? 0 : -1; }
  };
  for (const std::size_t room : {std::string::npos, std::size_t{5}}) {
    auto collecting = std::make_unique<Collecting>();
    collecting->room = room;
    const std::string& written = collecting->bytes;
    CrLfBuffer buffer(std::move(collecting));
    std::ostream out(&buffer);
    out << "a\nb\r\n"
        << "\n"
        << "x\r"
        << "\ny";
    out.put('\n') << std::flush;
    const bool written_whole = out.good();
    out.clear();
    out << "z";  // after a refused write, even once the stream is cleared
    const bool full = room != std::string::npos;
    EXPECT_EQ(written, std::string("a\r\nb\r\n\r\nx\r\ny\r\nz").substr(0, room));
    EXPECT_EQ(written_whole, !full);
    EXPECT_EQ(out.good(), !full);
    EXPECT_EQ(buffer.Failure(), full ? "No space left on device" : "");
  }
}

// Output gathered in blocks keeps its order: a text that just fills the block, and one larger
// than a block, go after what is held.
TEST(ScanCommandTest, BlocksKeepTheOrderOfWhatIsWritten) {
  struct Collecting : BlockBuffer {
    Collecting() : BlockBuffer(false) {}
    std::string bytes;
    bool WriteAll(std::string_view more) override { return bytes.append(more), true; }
  } buffer;
  const std::string fills(8192 - 2, 'x'), larger(10000, 'y');
  std::ostream(&buffer) << "ab" << fills << "cd" << larger << "e" << std::flush;
  EXPECT_EQ(buffer.bytes, "ab" + fills + "cd" + larger + "e");
}

TEST(ScanCommandTest, LargeFilesAcrossTheirReadingChunks) {
  TempDir dir;
  WriteBytes("utf8.ini", "$ZIG\r\n未来\r\nDVOL\r\n");
  WriteBytes("gbk.ini", "$ZIG\r\n\xC0\xB4\r\n");
  // ZIG( and the UTF-8 of 未来 straddle the first and second 256 KiB read; DVOL ends the file.
  const std::string utf8 = std::string(262142, 'x') + "zIg(" + std::string(262143, 'y') +
                           "\xE6\x9C\xAA\xE6\x9D\xA5" + std::string(100000, '\n') + "dvol";
  std::string late = "ZIG(1);\r\n";
  for (int i = 0; i < 600000; ++i) late += "MA(C,5);\r\n";
  late += "\xC0\xB4";  // 来 in GBK, and no UTF-8
  const std::string summary =
      "{\"summary\":{\"scanned\":1,\"with_hits\":1,\"unreadable\":0,\"skipped\":0}}\n";
  struct Case {
    std::string bytes, library;
    bool json;
    std::string out;
  };
  const Case cases[] = {
      {utf8, "utf8.ini", false,
       "\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数未来！\r\n注意：发现未来函数DVOL！\n"},
      // The same bytes made GBK by one byte at the very end: read again, decoded anew.
      {utf8 + "\xC0", "utf8.ini", true,
       "{\"path\":\"big.txt\",\"encoding\":\"ansi\",\"hits\":["
       "{\"entry\":\"$ZIG\",\"name\":\"ZIG\",\"line\":1,\"column\":262143},"
       "{\"entry\":\"DVOL\",\"name\":\"DVOL\",\"line\":100001,\"column\":1}]}\n" +
           summary},
      {late, "gbk.ini", false, "\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数来！\n"},
      {late, "gbk.ini", true,
       "{\"path\":\"big.txt\",\"encoding\":\"ansi\",\"hits\":["
       "{\"entry\":\"$ZIG\",\"name\":\"ZIG\",\"line\":1,\"column\":1},"
       "{\"entry\":\"来\",\"name\":\"来\",\"line\":600002,\"column\":1}]}\n" +
           summary},
  };
  for (const Case& c : cases) {
    WriteBytes("big.txt", c.bytes);
    const CommandRun run =
        Scan(c.json ? std::vector<std::string>{"--library", c.library, "--json", "big.txt"}
                    : std::vector<std::string>{"--library", c.library, "big.txt"});
    EXPECT_EQ(run.out, c.out) << c.library;
  }
  // Such files are read where the system keeps them, not copied.
  EXPECT_EQ(MappedFile("big.txt").Bytes(), late);
}

// Random formulas of every kind: ASCII, UTF-8, GBK (the last four pieces), marks, NULs, keys.
TEST(ScanCommandBatchTest, ManyThreadsPrintWhatOneThreadPrintsInTheSameOrder) {
  TempDir dir;
  // clang-format off
  const char* const pieces[] = {"MA(C,5);", "\r\n", "zig(", "DVOL", "#Week",
      "\xE6\x9C\xAA\xE6\x9D\xA5", "BackSet(", "{ x }", "\xEF\xBC\xA1", " ", "Peak(", "\xF0\x90\x90\x80",
      "\xCE\xB4\xC0\xB4", "\xC0\xB4", "\xFF", "\x80"};
  const char* const starts[] = {"", "", "", "", "\xEF\xBB\xBF", "\xFF\xFE"};
  // clang-format on
  std::mt19937 random(2026);
  std::filesystem::create_directories("f/sub/deeper");
  for (int i = 0; i < 400; ++i) {
    std::string bytes = starts[random() % std::size(starts)];
    const std::size_t kinds = random() % 2 == 0 ? 12 : 16;
    for (std::size_t n = random() % 200; n > 0; --n) bytes += pieces[random() % kinds];
    if (random() % 40 == 0) bytes += std::string("\0\0", 2);
    if (i % 50 == 0) bytes.insert(0, 70000, 'x');  // read in more than one go
    const std::string folder = i % 7 == 0 ? "f/sub/" : i % 11 == 0 ? "f/sub/deeper/" : "f/";
    WriteBytes(folder + std::to_string(random() % 100000) + "_" + std::to_string(i) +
                   (i % 13 == 0 ? ".TN6" : ".txt"),
               bytes);
  }
  ScanOptions options;
  options.recursive = true;
  options.inputs = {"f", "missing.txt", "f/sub"};
  const auto batch = [&options](std::size_t threads) {
    std::istringstream in;
    std::ostringstream out, err;
    // Many threads with a window of few files: the walk waits for room, slots are used again.
    const int status =
        RunBatch(options, {u"$ZIG", u"#WEEK", u"DVOL", u"未来", u"$BACKSET"}, "lib.ini", in, out,
                 err, false, threads, {}, threads > 1 ? 7 : 1024);
    return CommandRun{status, out.str(), err.str()};
  };
  mallopt(M_ARENA_MAX, 1);  // one heap for all threads: no new heap's own books counted
  options.json = true;
  batch(8);  // what is made once per process is made before the heap is counted
  const long long held_before = HeapInUse();
  for (const bool json : {false, true}) {
    options.json = json;
    const CommandRun one = batch(1);
    for (const std::size_t threads : {2u, 3u, 8u}) {
      const CommandRun many = batch(threads);
      EXPECT_EQ(many.status, one.status);
      EXPECT_EQ(many.out, one.out) << threads << " threads";
      EXPECT_EQ(many.err, one.err) << threads << " threads";
    }
    // Every file but the few binary ones has its line: nothing was left out by all alike.
    EXPECT_GT(std::count(one.out.begin(), one.out.end(), '\n'), 300) << one.out;
  }
  // Eight batches of 450 files give back what they take: a result slot kept per file would
  // be about 390 KB; what the C library keeps for its threads is about 20 KB.
  EXPECT_LT(HeapInUse() - held_before, 64 << 10);
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
struct HeldOutput : std::stringbuf {
  explicit HeldOutput(std::ostream& terminal) : terminal(terminal) {}
  int sync() override { return terminal << str(), str(""), 0; }
  std::ostream& terminal;
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
  std::string pieces = shown;  // every drawing of the line: with no delay, after each step
  std::ranges::replace(pieces, '\r', '\n');
  std::vector<std::string> drawn = Screen(pieces);
  std::erase_if(drawn, [](const std::string& line) { return line.find('/') == std::string::npos; });
  // One thread: the files are found (the count grows), then scanned.
  EXPECT_EQ(drawn,
            (std::vector<std::string>{"0/1 files, 0 MB", "0/2 files, 0 MB", "0/3 files, 0 MB",
                                      "0/4 files, 0 MB", "1/4 files, 3 MB", "2/4 files, 3 MB",
                                      "3/4 files, 3 MB", "4/4 files, 3 MB"}));
  const std::vector<std::string> expected = {
      "a.txt: ZIG",
      "b.txt: 没有发现未来函数！",
      "tesqua-scan: c.txt: cannot be checked (binary or encrypted); open it in the charting "
      "program and copy the formula text instead",
      "tesqua-scan: d.txt: No such file or directory",
      "2 files scanned, 1 with hits, 1 could not be read, 1 could not be checked (binary or "
      "encrypted)",
      ""};
  EXPECT_EQ(Screen(shown), expected);
}

}  // namespace
}  // namespace tesqua
