#include "scan/library.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <latch>
#include <thread>

#include "platform/new_file.h"
#include "tests/entry_list.h"
#include "tests/temp_dir.h"

namespace tesqua {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::string kDefaultBytes = ReadBytes(TESQUA_DEFAULT_CODE_INI);

TEST(LibraryTest, AMissingLibraryIsWrittenWithTheDefaultsAndAnExistingEntryIsNeverTouched) {
  TempDir dir;
  EXPECT_TRUE(EnsureLibrary());
  EXPECT_EQ(ReadBytes("code.ini"), kDefaultBytes);
  WriteBytes("file", "kept");
  std::filesystem::create_directory("folder");
  std::filesystem::create_symlink("nowhere", "link");
  for (const char* name : {"code.ini", "file", "folder", "link"}) {
    EXPECT_FALSE(EnsureLibrary(name)) << name;
    // Past the check for an existing entry, as when another program creates it meanwhile.
    EXPECT_FALSE(CreateNewFile(name, "new")) << name;
  }
  EXPECT_EQ(ReadBytes("code.ini"), kDefaultBytes);
  EXPECT_EQ(ReadBytes("file"), "kept");
  EXPECT_TRUE(std::filesystem::is_empty("folder"));
  EXPECT_EQ(std::filesystem::read_symlink("link"), "nowhere");
  // and no temporary file left beside them
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 4);
}

TEST(LibraryTest, ProgramsStartingTogetherAllLoadTheWholeLibrary) {
  TempDir dir;
  for (int round = 0; round < 100; ++round) {
    const std::filesystem::path file = dir.path / std::to_string(round) / "code.ini";
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
  EXPECT_TRUE(std::filesystem::is_empty("."));
}

TEST(LibraryTest, LinesSplitAtEveryLineEndWithNothingTrimmedOrSkipped) {
  struct Case {
    std::u16string_view text;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {u"", {}},
      {u"\r\n", {u""}},
      {u"A\rB\nC\r\n\r\nD", {u"A", u"B", u"C", u"", u"D"}},
      {u"DVOL\t \r\n $ZIG\r\n", {u"DVOL\t ", u" $ZIG"}},  // blanks kept
      {u"A\n\rB", {u"A", u"", u"B"}},                 // LF then CR: two line ends
      {u"X\r\nX\r", {u"X", u"X"}},                    // no de-duplication
      {std::u16string_view(u"A\r\n", 2), {u"A"}},     // nothing read past the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(LibraryTest, EveryLineIsInsertedAtTheIndexOfTheLinesReadBeforeIt) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 40000; ++i) bytes.append("K").append(std::to_string(i)).append("\r\n");
  WriteBytes("code.ini", bytes);
  testing::EntryList list({u"kept"});
  LoadLibrary(list, "code.ini", DecodeGbk);
  ASSERT_EQ(list.ListCount(), 40001);  // more than a 16-bit index holds
  EXPECT_EQ(list.List(0), u"K0");
  EXPECT_EQ(list.List(39999), u"K39999");
  EXPECT_EQ(list.List(40000), u"kept");
  // From a pipe, which has no size to read it in one go by.
  ASSERT_EQ(mkfifo("pipe.ini", 0600), 0);
  const std::jthread writer([&bytes] { WriteBytes("pipe.ini", bytes); });
  EXPECT_EQ(ReadFileBytes("pipe.ini"), bytes);
}

}  // namespace
}  // namespace tesqua
