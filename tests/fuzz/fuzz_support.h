// What both fuzz targets need: a check that ends the run, and bytes handed out as a pipe
// hands them out.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

#include "scan/text_stream.h"

namespace tesqua {

// A broken property ends the fuzz run: libFuzzer keeps the input that broke it.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fails: %s\n", what);
  std::abort();
}

// Reads of random sizes, up to 1 + most bytes each.
class PipeSource : public ByteSource {
 public:
  PipeSource(std::string_view bytes, unsigned seed) : bytes_(bytes), random_(seed), most_(seed) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min({size, 1 + random_() % (1 + most_), bytes_.size() - at_});
    bytes_.copy(buffer, count, at_);
    at_ += count;
    return count;
  }
  void Rewind() override { at_ = 0; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  std::minstd_rand random_;
  std::size_t most_;
};

}  // namespace tesqua
