// A broken property ends the fuzz run: libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace tesqua {

inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fails: %s\n", what);
  std::abort();
}

}  // namespace tesqua
