// Letter case without a locale: Unicode simple case folding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesqua {

// The simple case folding of one code point (itself when it has none).
char32_t FoldCase(char32_t code_point);

// Folds every code point of a UTF-16 text. The result has the same length and the same
// positions: simple folding maps basic-plane characters onto basic-plane characters and
// supplementary ones onto supplementary ones. Unpaired surrogates are kept as they are.
std::u16string FoldCase(std::u16string_view text);

// The folding of every basic-plane unit, 65536 entries; surrogates map onto themselves.
const char16_t* BasicPlaneFoldTable();

// Whether some code point other than code_point folds onto it (É onto é; K and the Kelvin
// sign onto k).
bool HasOtherSpellings(char32_t code_point);
// The code points outside ASCII that fold onto ASCII ones (the long s, the Kelvin sign).
const std::vector<char32_t>& NonAsciiFoldingOntoAscii();

}  // namespace tesqua
