#include "cli/scan_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "scan/library.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::TempDir;
using testing::WriteBytes;

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

CommandRun Scan(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunScanCommand(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(ScanCommandTest, PrintsTheWindowsVerdictAsUtf8) {
  TempDir dir;
  const CommandRun found = Scan({}, "A:=ZIG(C,5);\nB:=DVOL;");
  EXPECT_EQ(found.status, kExitFound);
  EXPECT_EQ(found.out, "\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数DVOL！\n");
  const CommandRun none = Scan({"-"}, "MA(C,5)");
  EXPECT_EQ(none.status, kExitNoneFound);
  EXPECT_EQ(none.out, "没有发现未来函数！\n");
  // Without --library the defaults were written where the window would write them.
  EXPECT_TRUE(std::filesystem::exists("code.ini"));
}

TEST(ScanCommandTest, AFolderThatCannotHoldTheLibraryIsScannedWithTheDefaults) {
  TempDir dir;
  std::filesystem::remove(dir.path());  // nothing can be created in a removed current folder
  const CommandRun run = Scan({}, "B:=DVOL;");
  EXPECT_EQ(run.status, kExitFound);
  EXPECT_EQ(run.out, "\r\n注意：发现未来函数DVOL！\n");
  EXPECT_EQ(run.err,
            "tesqua-scan: cannot write code.ini: No such file or directory; using the built-in "
            "defaults\n");
}

TEST(ScanCommandTest, ReadsFilesInGbkOrUtf8) {
  TempDir dir;
  struct Case {
    std::string library, formula, verdict;
  };
  const Case cases[] = {
      {"\xCE\xB4\xC0\xB4\r\n", "// \xE6\x9C\xAA\xE6\x9D\xA5", "未来"},  // GBK, UTF-8
      // GBK whose "通" (CD A8) is also valid two-byte UTF-8, in the library and in formulas.
      {"$ZIG\r\n\xCD\xA8\r\nDVOL\r\n", "X:=\xC1\xF7\xCD\xA8\xB9\xC9\xB1\xBE;", "通"},
      {"$ZIG\r\n\xCD\xA8\r\nDVOL\r\n", "X:=\xE6\xB5\x81\xE9\x80\x9A;", "通"},
      {"\xCD\xA8\r\n", "\xD6\xB8\xCD\xA8", "通"},
  };
  for (const Case& c : cases) {
    WriteBytes("lib.ini", c.library);
    WriteBytes("formula.txt", c.formula);
    const CommandRun run = Scan({"--library", "lib.ini", "formula.txt"});
    EXPECT_EQ(run.status, kExitFound) << c.formula;
    EXPECT_EQ(run.out, "\r\n注意：发现未来函数" + c.verdict + "！\n") << c.formula;
  }
  EXPECT_FALSE(std::filesystem::exists("code.ini"));  // --library files are never written
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
// file, files of another kind or of none, and the library itself.
void WriteFolder() {
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
}

TEST(ScanCommandTest, BatchesPrintALinePerFileInOrderThenTheSummary) {
  TempDir dir;
  WriteFolder();
  WriteBytes("f/sub/code.ini", "DVOL");  // named like the library, but another file
  WriteBytes("empty.ini", "");
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;
    std::string in_err = "";  // found in standard error
  };
  const Case cases[] = {
      {{"--library", "lib.ini", "-r", "f"},
       "",
       kExitFound,
       "f/a.txt: ZIG, DVOL, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/sub/code.ini: DVOL\n"
       "6 files scanned, 5 with hits, 0 could not be read, 1 skipped as binary\n",
       "f/d.txt: binary file skipped"},
      // Extensions choose the files of folders only.
      {{"--library", "lib.ini", "-r", "--ext", ".DOC,tn6", "f", "f/b.TXT"},
       "",
       kExitFound,
       "f/e.doc: ZIG\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "3 files scanned, 2 with hits, 0 could not be read, 0 skipped as binary\n"},
      {{"--library", "lib.ini", "-r", "--ext", "*", "f"},
       "",
       kExitFound,
       "f/.txt: ZIG\n"
       "f/a.txt: ZIG, DVOL, 未来\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/e.doc: ZIG\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK, 未来\n"
       "f/sub/code.ini: DVOL\n"
       "f/txt: ZIG\n"
       "9 files scanned, 8 with hits, 0 could not be read, 1 skipped as binary\n"},
      // The current folder but the library, which is written there and used; no input read.
      {{"-r"},
       "ZIG(",
       kExitFound,
       "empty.ini: 没有发现未来函数！\n"
       "f/a.txt: ZIG, DVOL\n"
       "f/b.TXT: 没有发现未来函数！\n"
       "f/g.txt: ZIG\n"
       "f/h.txt: DVOL\n"
       "f/sub/c.tn6: #WEEK\n"
       "f/sub/code.ini: DVOL\n"
       "lib.ini: #WEEK, DVOL\n"
       "8 files scanned, 6 with hits, 0 could not be read, 1 skipped as binary\n"},
      {{"--library", "lib.ini", "-rl", "f", "missing.txt"},
       "",
       kExitError,
       "f/a.txt\nf/g.txt\nf/h.txt\nf/sub/c.tn6\nf/sub/code.ini\n",
       "missing.txt"},
      {{"--library", "lib.ini", "--files-with-hits", "f/b.TXT"}, "", kExitNoneFound, ""},
      {{"--library", "lib.ini", "-l", "f/a.txt"}, "", kExitFound, "f/a.txt\n"},
      {{"--library", "lib.ini", "f/b.TXT", "-"},
       "MA(C,5)",
       kExitNoneFound,
       "f/b.TXT: 没有发现未来函数！\n"
       "-: 没有发现未来函数！\n"
       "2 files scanned, 0 with hits, 0 could not be read, 0 skipped as binary\n"},
      {{"--library", "empty.ini", "-r", "f"}, "", kExitNoVerdict, "", "empty.ini"},
  };
  for (const Case& c : cases) {
    const CommandRun run = Scan(c.args, c.input);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.out, c.out) << ::testing::PrintToString(c.args);
    EXPECT_NE(run.err.find(c.in_err), std::string::npos) << run.err;
  }
}

TEST(ScanCommandTest, JsonGivesTheFirstOccurrenceOfEachHit) {
  TempDir dir;
  WriteFolder();
  WriteBytes("q\"\\\x1f.txt", "ZIG(");
  const CommandRun run = Scan(
      {"--library", "lib.ini", "--json", "f/a.txt", "f/sub/c.tn6", "f/d.txt", "q\"\\\x1f.txt"});
  EXPECT_EQ(run.status, kExitFound);
  EXPECT_EQ(run.out,
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
            "{\"summary\":{\"scanned\":3,\"with_hits\":3,\"unreadable\":0,\"skipped\":1}}\n");
}

TEST(ScanCommandTest, UnreadablePathsAreNamedAndTheRestIsStillScanned) {
  TempDir dir;
  WriteFolder();
  const CommandRun run = Scan({"--library", "lib.ini", "missing.txt", "f", "f/b.TXT"});
  EXPECT_EQ(run.status, kExitError);
  EXPECT_EQ(run.out,
            "f/b.TXT: 没有发现未来函数！\n"
            "1 file scanned, 0 with hits, 2 could not be read, 0 skipped as binary\n");
  EXPECT_NE(run.err.find("missing.txt"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("f: is a folder (use -r)\n"), std::string::npos) << run.err;
  const CommandRun json = Scan({"--library", "lib.ini", "--json", "missing.txt"});
  EXPECT_EQ(json.status, kExitError);
  EXPECT_EQ(json.out.rfind("{\"path\":\"missing.txt\",\"error\":", 0), 0u) << json.out;
}

TEST(ScanCommandTest, APermissionErrorNamesTheFileAndStopsNothing) {
  TempDir dir;
  WriteFolder();
  std::filesystem::permissions("f/b.TXT", std::filesystem::perms::none);
  if (std::ifstream("f/b.TXT")) GTEST_SKIP() << "permissions do not bind this user";
  const CommandRun run = Scan({"--library", "lib.ini", "f/b.TXT", "f/a.txt"});
  EXPECT_EQ(run.status, kExitError);
  EXPECT_NE(run.err.find("f/b.TXT: "), std::string::npos) << run.err;
  EXPECT_EQ(run.out,
            "f/a.txt: ZIG, DVOL, 未来\n"
            "1 file scanned, 1 with hits, 1 could not be read, 0 skipped as binary\n");
}

TEST(ScanCommandTest, KeysAndCharactersAcrossTheReadingChunksOfALargeFile) {
  TempDir dir;
  WriteBytes("lib.ini", "$ZIG\r\n未来\r\nDVOL\r\n");
  // ZIG( and the UTF-8 of 未来 straddle the first and second 256 KiB read; DVOL ends the file.
  std::string utf8(262144 - 2, 'x');
  utf8 += "zIg(";
  utf8 += std::string(262144 - 1, 'y');
  utf8 += "\xE6\x9C\xAA\xE6\x9D\xA5";
  utf8 += std::string(100000, '\n') + "dvol";
  WriteBytes("big.txt", utf8);
  const CommandRun run = Scan({"--library", "lib.ini", "big.txt"});
  EXPECT_EQ(
      run.out,
      "\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数未来！\r\n注意：发现未来函数DVOL！\n");
  // The same bytes as GBK, made so by one byte at the very end: read again, decoded anew.
  WriteBytes("big.txt", utf8 + "\xC0");
  const CommandRun gbk = Scan({"--library", "lib.ini", "--json", "big.txt"});
  EXPECT_NE(gbk.out.find("\"encoding\":\"ansi\""), std::string::npos);
  EXPECT_NE(gbk.out.find("{\"entry\":\"DVOL\",\"name\":\"DVOL\",\"line\":100001,\"column\":1}"),
            std::string::npos)
      << gbk.out.substr(0, 400);
  EXPECT_EQ(gbk.out.find("未来"), std::string::npos);  // those bytes read otherwise in GBK
}

TEST(ScanCommandTest, AVeryLargeFileThatTurnsOutGbkAfterEveryKeyWasFound) {
  // Large files are decoded and searched on two threads; the late GBK byte makes both start
  // over, after the searcher had already told the decoder that it needed no more.
  TempDir dir;
  WriteBytes("zig.ini", "$ZIG\r\n");
  WriteBytes("both.ini", "$ZIG\r\n\xC0\xB4\r\n");
  std::string bytes = "ZIG(1);\r\n";
  for (int i = 0; i < 600000; ++i) bytes += "MA(C,5);\r\n";
  bytes += "\xC0\xB4";  // 来 in GBK, and no UTF-8
  WriteBytes("big.txt", bytes);
  EXPECT_EQ(Scan({"--library", "zig.ini", "big.txt"}).out, "\r\n注意：发现未来函数ZIG！\n");
  EXPECT_EQ(Scan({"--library", "both.ini", "big.txt"}).out,
            "\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数来！\n");
  const CommandRun json = Scan({"--library", "both.ini", "--json", "big.txt"});
  EXPECT_NE(json.out.find("\"name\":\"来\",\"line\":600002,\"column\":1}"), std::string::npos)
      << json.out;
}

TEST(ScanCommandTest, TheSingleFormStillScansBinaryInput) {
  TempDir dir;
  WriteBytes("lib.ini", "DVOL\r\n");
  const CommandRun run = Scan({"--library", "lib.ini"}, std::string("\0DVOL", 5));
  EXPECT_EQ(run.status, kExitFound);
  EXPECT_EQ(run.out, "\r\n注意：发现未来函数DVOL！\n");
}

}  // namespace
}  // namespace tesqua
