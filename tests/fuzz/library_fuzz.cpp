// Library bytes: decoded piece by piece they read as decoded whole, and their lines follow
// the line rule. Input: a byte that sets the read sizes, a byte that sets the chunk size and
// folding, then the bytes of the file.
#include <cstdint>
#include <string>
#include <vector>

#include "scan/library.h"
#include "scan/text_encoding.h"
#include "scan/text_stream.h"
#include "tests/fuzz/fuzz_support.h"

namespace tesqua {
namespace {

// The line rule said another way: every line end made an LF, the text cut at each LF, and
// the empty piece after a final line end (or of an empty text) dropped.
std::vector<std::u16string> Lines(std::u16string_view text) {
  std::vector<std::u16string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    if (text[i] == u'\r' || text[i] == u'\n') {
      lines.emplace_back();
    } else {
      lines.back() += text[i];
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

}  // namespace
}  // namespace tesqua

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tesqua;
  if (size < 2) return 0;
  const unsigned read_seed = data[0];
  const std::size_t chunk = 4 + (data[1] >> 1);
  const bool folding = data[1] & 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  const std::u16string whole = DecodeText(bytes, DecodeGbk);
  PipeSource source(bytes, read_seed);
  CollectingSink pieces;
  pieces.folding = folding;
  DecodeInChunks(source, GbkCodePage(), pieces, chunk);
  const auto fold = [folding](const std::u16string& text) {
    return folding ? model::Fold(text) : text;
  };
  Require(fold(pieces.text) == fold(whole), "pieces decode as the whole");
  CollectingSink in_memory;
  in_memory.folding = folding;
  std::vector<char16_t> units;
  DecodeBytes(bytes, GbkCodePage(), in_memory, units);
  Require(fold(in_memory.text) == fold(whole), "bytes in memory decode as the whole");

  Require(SplitLines(whole) == Lines(whole), "lines end at CR LF, CR or LF");
  return 0;
}
