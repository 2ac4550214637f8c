// What the fuzz targets and the scan tests share: a check that ends the run, bytes handed out as
// a pipe hands them out, and sinks for decoded text.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

#include "scan/match_sink.h"
#include "scan/matcher.h"
#include "scan/text_encoding.h"
#include "scan/text_stream.h"
#include "tests/scan_model.h"

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

// Decoded text collected as given (a piece said folded must be folded; compare the rest folded
// whole, as a piece may end amid a pair). Bytes are decoded piece by piece: a split shows.
class CollectingSink : public TextSink {
 public:
  void Restart() override {
    text.clear();
    ++restarts;
  }
  bool Take(std::u16string_view units, bool folded) override {
    Require(!folded || (folding && model::Fold(units) == units), "a piece said folded is folded");
    text += units;
    largest = std::max(largest, units.size());
    return text.size() < wanted;
  }
  bool TakesFolded() const override { return folding; }
  bool TakesBytes(ByteEncoding) const override { return bytes; }
  bool TakeBytes(std::string_view piece, ByteEncoding encoding) override {
    Require(bytes, "bytes only to a sink that takes them");
    return Take(encoding == ByteEncoding::kUtf8 ? DecodeUtf8(piece) : DecodeGbk(piece), false);
  }
  bool folding = false;
  bool bytes = false;
  std::size_t wanted = ~std::size_t{0};
  std::u16string text;
  int restarts = 0;
  std::size_t largest = 0;  // units in the largest piece
};

}  // namespace tesqua
