#include "scan/library.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <latch>
#include <thread>

#include "platform/new_file.h"
#include "scan/entry_list.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::string_view kDefaultBytes =
    "$ZIG\r\n$PEAK\r\n$PEAKBARS\r\n$TROUGH\r\n$TROUGHBARS\r\n$FLATZIG\r\n$FLATZIGA\r\n$PEAKA\r\n"
    "$PEAKBARSA\r\n$TROUGHA\r\n$ZIGA\r\n$FFT\r\n$BACKSET\r\n$WINNER\r\n$LWINNER\r\n$COST\r\n"
    "$DYNAINFO\r\n$FINANCE\r\n$DRAWLINE\r\n#YEAR\r\n#MONTH\r\n#WEEK\r\nCAPITAL\r\nDCLOSE\r\n"
    "DOPEN\r\nDLOW\r\nDVOL\r\n";

std::vector<std::u16string> Load(const std::filesystem::path& file) {
  EntryList list;
  LoadLibrary(list, file, DecodeGbk);
  return list.items();
}

TEST(LibraryTest, MissingFileGetsTheDefaultsByteForByteAndLoadsInOrder) {
  TempDir dir;
  EXPECT_TRUE(EnsureLibrary());
  EXPECT_EQ(ReadBytes("code.ini"), kDefaultBytes);
  const auto entries = Load("code.ini");
  ASSERT_EQ(entries.size(), 27u);
  EXPECT_EQ(entries, DefaultLibrary());
  EXPECT_EQ(entries.front(), u"$ZIG");
  EXPECT_EQ(entries.back(), u"DVOL");
}

TEST(LibraryTest, AnExistingFileIsNeverTouched) {
  TempDir dir;
  for (const std::string_view bytes :
       {std::string_view(""), std::string_view("DVOL"), std::string_view("\xFF\xFE\x00", 3)}) {
    WriteBytes("code.ini", bytes);
    EXPECT_FALSE(EnsureLibrary());
    EXPECT_EQ(ReadBytes("code.ini"), bytes);
  }
  EXPECT_TRUE(Load("code.ini").size() == 1);  // the lone odd byte after the mark
  WriteBytes("code.ini", "");
  EXPECT_TRUE(Load("code.ini").empty());
}

// Every name in the current folder, temporary files included.
std::vector<std::string> FolderNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LibraryTest, ANewFileNeverReplacesAnEntryOfItsNameAndLeavesNoTemporaryFile) {
  TempDir dir;
  WriteBytes("file", "kept");
  std::filesystem::create_directory("folder");
  std::filesystem::create_symlink("nowhere", "link");
  // Past the check for an existing code.ini, as when another program creates it meanwhile.
  for (const char* name : {"file", "folder", "link"}) EXPECT_FALSE(CreateNewFile(name, "new"));
  EXPECT_TRUE(CreateNewFile("new", "new"));
  EXPECT_EQ(ReadBytes("file"), "kept");
  EXPECT_TRUE(std::filesystem::is_empty("folder"));
  EXPECT_EQ(std::filesystem::read_symlink("link"), "nowhere");
  EXPECT_EQ(ReadBytes("new"), "new");
  EXPECT_EQ(FolderNames(), (std::vector<std::string>{"file", "folder", "link", "new"}));
}

TEST(LibraryTest, ProgramsStartingTogetherAllLoadTheWholeLibrary) {
  TempDir dir;
  for (int round = 0; round < 100; ++round) {
    const std::filesystem::path file = dir.path() / std::to_string(round) / "code.ini";
    std::filesystem::create_directory(file.parent_path());
    std::latch start(3);
    std::string loaded[3];
    {
      std::vector<std::jthread> starts;
      for (std::string& bytes : loaded) {
        starts.emplace_back([&] {
          start.arrive_and_wait();
          try {
            EnsureLibrary(file);
            bytes = ReadFileBytes(file);
          } catch (const LibraryError& error) {
            bytes = error.what();
          }
        });
      }
    }
    for (const std::string& bytes : loaded) ASSERT_EQ(bytes, kDefaultBytes) << round;
  }
}

TEST(LibraryTest, ACreationStoppedHalfWayLeavesNoFileAtAll) {
  TempDir dir;
  // A file-size limit of 100 bytes stops the writing of the defaults half-way.
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const rlimit limit{100, previous.rlim_max};
  const auto previous_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string message;
  try {
    EnsureLibrary();
  } catch (const LibraryError& error) {
    message = error.what();
  }
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(message, "cannot write code.ini: File too large");
  EXPECT_EQ(FolderNames(), std::vector<std::string>{});
}

TEST(LibraryTest, LinesSplitAtEveryLineEndWithNothingTrimmedOrSkipped) {
  struct Case {
    std::u16string_view text;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {u"", {}},
      {u"\r\n", {u""}},
      {u"A\r\nB\r\n", {u"A", u"B"}},
      {u"A\r\nB", {u"A", u"B"}},  // last line without an end
      {u"A\rB\nC\r\n\r\nD", {u"A", u"B", u"C", u"", u"D"}},
      {u"DVOL \r\n $ZIG\r\n", {u"DVOL ", u" $ZIG"}},  // blanks kept
      {u"A\n\rB", {u"A", u"", u"B"}},                 // LF then CR: two line ends
      {u"X\r\nX\r\n", {u"X", u"X"}},                  // no de-duplication
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(LibraryTest, EntriesDecodeFromGbkUtf8AndUtf16) {
  TempDir dir;
  const std::vector<std::u16string> expected = {u"$ZIG", u"未来", u"DVOL"};
  WriteBytes("gbk.ini", "$ZIG\r\n\xCE\xB4\xC0\xB4\r\nDVOL");
  WriteBytes("utf8.ini", "\xEF\xBB\xBF$ZIG\n\xE6\x9C\xAA\xE6\x9D\xA5\nDVOL\n");
  WriteBytes("utf16.ini", std::string_view("\xFF\xFE$\0Z\0I\0G\0\r\0\n\0\x2A\x67\x65\x67\r\0\n\0"
                                           "D\0V\0O\0L\0",
                                           30));
  EXPECT_EQ(Load("gbk.ini"), expected);
  EXPECT_EQ(Load("utf8.ini"), expected);
  EXPECT_EQ(Load("utf16.ini"), expected);
}

TEST(LibraryTest, LoadingInsertsAfterWhatTheListHolds) {
  TempDir dir;
  WriteBytes("code.ini", "A\r\nB\r\n");
  EntryList list({u"kept"});
  LoadLibrary(list, "code.ini", DecodeGbk);
  // Each line goes to the index of the lines read before it.
  EXPECT_EQ(list.items(), (std::vector<std::u16string>{u"A", u"B", u"kept"}));
}

TEST(LibraryTest, MoreThan32767EntriesAllLoad) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 40000; ++i) bytes.append("K").append(std::to_string(i)).append("\r\n");
  WriteBytes("code.ini", bytes);
  const auto entries = Load("code.ini");
  ASSERT_EQ(entries.size(), 40000u);
  EXPECT_EQ(entries[39999], u"K39999");
}

}  // namespace
}  // namespace tesqua
