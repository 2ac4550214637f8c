#include "cli/scan_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "scan/library.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::TempDir;
using testing::WriteBytes;

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

// One text, from standard input: the window's verdict, GBK or UTF-8.
TEST(ScanCommandTest, TheSingleFormPrintsTheWindowsVerdictAsUtf8) {
  TempDir dir;
  struct Case {
    std::string library;  // none: code.ini, written with the defaults where it is missing
    std::string input;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {"\xCE\xB4\xC0\xB4\r\n", "// \xE6\x9C\xAA\xE6\x9D\xA5", kExitFound,
       "\r\n注意：发现未来函数未来！\n"},  // GBK, UTF-8
      // GBK whose "通" (CD A8) is also valid two-byte UTF-8, in the library and in formulas.
      {"$ZIG\r\n\xCD\xA8\r\nDVOL\r\n", "X:=\xC1\xF7\xCD\xA8\xB9\xC9\xB1\xBE;", kExitFound,
       "\r\n注意：发现未来函数通！\n"},
      {"$ZIG\r\n\xCD\xA8\r\nDVOL\r\n", "X:=\xE6\xB5\x81\xE9\x80\x9A;", kExitFound,
       "\r\n注意：发现未来函数通！\n"},
      {"\xCD\xA8\r\n", "\xD6\xB8\xCD\xA8", kExitFound, "\r\n注意：发现未来函数通！\n"},
      {"DVOL\r\n", std::string("\0DVOL", 5), kExitFound, "\r\n注意：发现未来函数DVOL！\n"},
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

TEST(ScanCommandTest, ErrorsNameTheFileAndPrintNoVerdict) {
  TempDir dir;
  WriteBytes("empty.ini", "");
  std::filesystem::create_directory("f");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string in_err = "";  // found in standard error
  };
  const Case cases[] = {
      {{"missing.txt"}, kExitError, "missing.txt"},
      {{"--library", "missing.ini", "-"}, kExitError, "missing.ini: No such file or directory"},
      {{"--library", ".", "-"}, kExitError, ".: is a directory"},
      {{"--library"}, kExitError, "Usage: tesqua-scan"},
      {{"--frobnicate"}, kExitError, "--frobnicate"},
      {{"-rx"}, kExitError, "-rx"},
      {{"--", "--json"}, kExitError, "cannot read --json"},
      {{"--ext"}, kExitError, "--ext"},
      {{"-", "-"}, kExitError, "standard input"},
      {{"f"}, kExitError, "f: is a folder (use -r)\n"},
      {{"-l", "--json", "-"}, kExitError, "--json and -l"},
      {{"--library", "empty.ini"}, kExitNoVerdict, "empty.ini"},
  };
  for (const Case& c : cases) {
    const CommandRun run = Scan(c.args, "ZIG(");
    EXPECT_EQ(run.status, c.status) << c.in_err;
    EXPECT_EQ(run.out, "") << c.in_err;
    EXPECT_NE(run.err.find(c.in_err), std::string::npos) << run.err;
  }
}

// A folder of formulas: GBK, UTF-8 and UTF-16 with a byte-order mark, a subfolder, a binary
// file, files of another kind or of none, and the library; and files named like it.
TEST(ScanCommandTest, BatchesPrintALinePerFileInOrderThenTheSummary) {
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
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;
    std::string in_err = "";  // found in standard error
  };
  // clang-format off
  const Case cases[] = {
      {{"--library", "lib.ini", "-r", "f"}, "", kExitFound,
       "f/a.txt: ZIG, DVOL, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/sub/code.ini: DVOL\n"
       "f/to_a.txt: ZIG, DVOL, 未来\n"
       "7 files scanned, 6 with hits, 0 could not be read, 1 skipped as binary\n",
       "f/d.txt: binary file skipped"},
      // Extensions choose the files of folders only.
      {{"--library", "lib.ini", "-r", "--ext", ".DOC,tn6", "f", "f/b.TXT"}, "", kExitFound,
       "f/e.doc: ZIG\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "3 files scanned, 2 with hits, 0 could not be read, 0 skipped as binary\n"},
      {{"--library", "lib.ini", "-r", "--ext", "*", "f"}, "", kExitFound,
       "f/.txt: ZIG\n"
       "f/a.txt: ZIG, DVOL, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/e.doc: ZIG\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/sub/code.ini: DVOL\n"
       "f/to_a.txt: ZIG, DVOL, 未来\n"
       "f/txt: ZIG\n"
       "10 files scanned, 9 with hits, 0 could not be read, 1 skipped as binary\n"},
      // The current folder but the library, which is written there and used; no input read.
      {{"-r"}, "ZIG(", kExitFound,
       "empty.ini: 没有发现未来函数！\n"
       "f/a.txt: ZIG, DVOL\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK\n"
       "f/sub/code.ini: DVOL\n"
       "f/to_a.txt: ZIG, DVOL\n"
       "lib.ini: #WEEK, DVOL\n"
       "q\"\\\x1f.txt: ZIG\n"
       "10 files scanned, 8 with hits, 0 could not be read, 1 skipped as binary\n"},
      {{"--library", "lib.ini", "-rl", "f", "missing.txt"}, "", kExitError,
       "f/a.txt\nf/g.txt\nf/h.txt\nf/sub/c.tn6\nf/sub/code.ini\nf/to_a.txt\n",
       "missing.txt"},
      {{"--library", "lib.ini", "--files-with-hits", "f/b.TXT"}, "", kExitNoneFound, ""},
      {{"--library", "lib.ini", "-l", "f/a.txt"}, "", kExitFound, "f/a.txt\n"},
      {{"--library", "lib.ini", "f/b.TXT", "-"}, "MA(C,5)", kExitNoneFound,
       "f/b.TXT: 没有发现未来函数！\n"
       "-: 没有发现未来函数！\n"
       "2 files scanned, 0 with hits, 0 could not be read, 0 skipped as binary\n"},
      {{"--library", "empty.ini", "-r", "f"}, "", kExitNoVerdict, "", "empty.ini"},
      {{"--library", "lib.ini", "missing.txt", "f", "f/b.TXT"}, "", kExitError,
       "f/b.TXT: 没有发现未来函数！\n"
       "1 file scanned, 0 with hits, 2 could not be read, 0 skipped as binary\n",
       "f: is a folder (use -r)\n"},
      {{"--library", "lib.ini", "--json", "missing.txt"}, "", kExitError,
       "{\"path\":\"missing.txt\",\"error\":\"No such file or directory\"}\n"
       "{\"summary\":{\"scanned\":0,\"with_hits\":0,\"unreadable\":1,\"skipped\":0}}\n"},
      // The first occurrence of each hit, and strings escaped.
      {{"--library", "lib.ini", "--json", "f/a.txt", "f/sub/c.tn6", "f/d.txt", "q\"\\\x1f.txt"}, "", kExitFound,
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
       "{\"summary\":{\"scanned\":3,\"with_hits\":3,\"unreadable\":0,\"skipped\":1}}\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const CommandRun run = Scan(c.args, c.input);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.out, c.out) << ::testing::PrintToString(c.args);
    EXPECT_NE(run.err.find(c.in_err), std::string::npos) << run.err;
  }
}

// Large files are read in chunks, then searched on two threads; a late GBK byte makes both
// start over, after the searcher may already have told the decoder that it needed no more.
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
}

}  // namespace
}  // namespace tesqua
