#include "cli/scan_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "scan/library.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::ReadBytes;
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
  EXPECT_EQ(ReadBytes("code.ini"), DefaultLibraryBytes());
}

TEST(ScanCommandTest, ReadsFilesInGbkOrUtf8) {
  TempDir dir;
  WriteBytes("lib.ini", "\xCE\xB4\xC0\xB4\r\n");             // GBK
  WriteBytes("formula.txt", "// \xE6\x9C\xAA\xE6\x9D\xA5");  // UTF-8
  const CommandRun run = Scan({"--library", "lib.ini", "formula.txt"});
  EXPECT_EQ(run.status, kExitFound);
  EXPECT_EQ(run.out, "\r\n注意：发现未来函数未来！\n");
  EXPECT_FALSE(std::filesystem::exists("code.ini"));  // --library files are never written
}

TEST(ScanCommandTest, ErrorsNameTheFileAndPrintNoVerdict) {
  TempDir dir;
  WriteBytes("empty.ini", "");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string in_err;
  };
  const Case cases[] = {
      {{"missing.txt"}, kExitError, "missing.txt"},
      {{"--library", "missing.ini", "-"}, kExitError, "missing.ini"},
      {{"--library"}, kExitError, "usage"},
      {{"--frobnicate"}, kExitError, "--frobnicate"},
      {{"a.txt", "b.txt"}, kExitError, "usage"},
      {{"--library", "empty.ini"}, kExitNoVerdict, "empty.ini"},
  };
  for (const Case& c : cases) {
    const CommandRun run = Scan(c.args, "ZIG(");
    EXPECT_EQ(run.status, c.status) << c.in_err;
    EXPECT_EQ(run.out, "") << c.in_err;
    EXPECT_NE(run.err.find(c.in_err), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace tesqua
