#include "scan/case_folding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace tesqua {
namespace {

// The simple foldings (C and S) of the Unicode Character Database's own file.
std::map<char32_t, char32_t> ReadSimpleFoldings() {
  std::ifstream in(TESQUA_CASE_FOLDING_TXT);
  std::map<char32_t, char32_t> foldings;
  unsigned code = 0, mapping = 0;
  char status = 0;
  for (std::string line; std::getline(in, line);) {
    const bool simple = std::sscanf(line.c_str(), "%x; %c; %x", &code, &status, &mapping) == 3;
    if (simple && (status == 'C' || status == 'S')) foldings[code] = mapping;
  }
  return foldings;
}

TEST(CaseFoldingTest, EveryCodePointFoldsAsTheCharacterDatabaseSays) {
  const auto foldings = ReadSimpleFoldings();
  ASSERT_GT(foldings.size(), 1400u) << "CaseFolding.txt missing or unreadable";
  for (char32_t code_point = 0; code_point <= 0x10FFFF; ++code_point) {
    const auto found = foldings.find(code_point);
    const char32_t expected = found == foldings.end() ? code_point : found->second;
    ASSERT_EQ(FoldCase(code_point), expected) << std::hex << "U+" << std::uint32_t(code_point);
  }
}

}  // namespace
}  // namespace tesqua
