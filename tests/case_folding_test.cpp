#include "scan/case_folding.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace tesqua {
namespace {

// The simple foldings (C and S) of the Unicode Character Database's own file.
std::map<char32_t, char32_t> ReadSimpleFoldings() {
  std::ifstream in(TESQUA_CASE_FOLDING_TXT);
  std::map<char32_t, char32_t> foldings;
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    std::string code, status, mapping;
    if (!std::getline(fields, code, ';') || !std::getline(fields, status, ';') ||
        !std::getline(fields, mapping, ';')) {
      continue;
    }
    if (status.find('C') == std::string::npos && status.find('S') == std::string::npos) continue;
    foldings[char32_t(std::stoul(code, nullptr, 16))] = char32_t(std::stoul(mapping, nullptr, 16));
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
