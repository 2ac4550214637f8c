// The vector code of the scan behind plain entry points: the decoders and the matcher call
// these, and never test the processor themselves.
#pragma once

#include <cstddef>

namespace tesqua {

// Copies the ASCII bytes at the start of bytes into out, one unit each, and returns how many
// there were. With fold, A-Z become a-z on the way. out has room for count units: those past
// the returned count may be written too, and hold nothing of use.
std::size_t WidenAscii(const char* bytes, std::size_t count, char16_t* out, bool fold);

// Folds units into out (same length; out may be units), by simple case folding. A surrogate
// pair must not be split between two calls.
void FoldUnits(const char16_t* units, std::size_t count, char16_t* out);

}  // namespace tesqua
