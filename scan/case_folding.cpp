#include "scan/case_folding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <vector>

#include "scan/unicode.h"

namespace tesqua {
namespace {

struct Folding {
  std::uint32_t from;
  std::uint32_t to;
};

constexpr Folding kFoldings[] = {
#include "scan/case_folding_table.inc"
};

// One lookup per unit for the basic plane, where nearly all text lives.
const std::array<char16_t, 0x10000>& BasicPlaneFolds() {
  static const auto table = [] {
    std::array<char16_t, 0x10000> folds{};
    for (std::uint32_t unit = 0; unit < folds.size(); ++unit) folds[unit] = char16_t(unit);
    for (const Folding& folding : kFoldings) {
      if (folding.from <= 0xFFFF) folds[folding.from] = char16_t(folding.to);
    }
    return folds;
  }();
  return table;
}

}  // namespace

const char16_t* BasicPlaneFoldTable() {
  return BasicPlaneFolds().data();
}

bool HasOtherSpellings(char32_t code_point) {
  static const std::vector<std::uint32_t> targets = [] {
    std::vector<std::uint32_t> folded;
    for (const Folding& folding : kFoldings) folded.push_back(folding.to);
    std::sort(folded.begin(), folded.end());
    return folded;
  }();
  return std::binary_search(targets.begin(), targets.end(), std::uint32_t(code_point));
}

const std::vector<char32_t>& NonAsciiFoldingOntoAscii() {
  static const std::vector<char32_t> sources = [] {
    std::vector<char32_t> found;
    for (const Folding& folding : kFoldings) {
      if (folding.from >= 0x80 && folding.to < 0x80) found.push_back(folding.from);
    }
    return found;
  }();
  return sources;
}

char32_t FoldCase(char32_t code_point) {
  if (code_point <= 0xFFFF) return BasicPlaneFolds()[code_point];
  const auto found = std::lower_bound(
      std::begin(kFoldings), std::end(kFoldings), std::uint32_t(code_point),
      [](const Folding& folding, std::uint32_t value) { return folding.from < value; });
  if (found != std::end(kFoldings) && found->from == code_point) return found->to;
  return code_point;
}

std::u16string FoldCase(std::u16string_view text) {
  const auto& folds = BasicPlaneFolds();
  std::u16string folded(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      SplitSurrogates(FoldCase(JoinSurrogates(unit, text[i + 1])), folded.data() + i);
      ++i;
    } else {
      folded[i] = folds[unit];
    }
  }
  return folded;
}

}  // namespace tesqua
