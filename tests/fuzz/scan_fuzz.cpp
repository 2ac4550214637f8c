// The scan against the plain model: a library and a text, scanned whole, fed to the matcher
// in pieces of random sizes, and decoded in chunks straight into it. Input: a byte that sets the
// piece sizes (its low bit: the pieces come folded, as a decoder hands them), a byte with the
// length of the library file, the library file's bytes, then the text's bytes.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scan/library.h"
#include "scan/matcher.h"
#include "scan/scan.h"
#include "scan/text_encoding.h"
#include "scan/text_stream.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/scan_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tesqua;
  if (size < 2) return 0;
  const unsigned piece_seed = data[0];
  const bool folded = data[0] & 1;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string_view library = rest.substr(0, data[1]);
  const std::string_view text_bytes = rest.substr(library.size());
  const std::vector<std::u16string> entries = SplitLines(DecodeText(library, DecodeGbk));
  const std::u16string text = DecodeText(text_bytes, DecodeGbk);

  if (entries.empty()) {
    bool threw = false;
    try {
      ScanText(entries, text);
    } catch (const PlatformFailure&) {
      threw = true;
    }
    Require(threw, "an empty library gives no verdict");
    return 0;
  }
  const model::Verdict expected = model::Scan(entries, text);
  const ScanResult whole = ScanText(entries, text);
  Require(whole.verdict == expected.text && whole.hit_count == expected.hits,
          "the verdict of the whole text");

  const std::vector<std::u16string> keys = model::Keys(entries);
  const std::vector<std::uint64_t> positions = model::FirstPositions(keys, text);
  const Matcher matcher(keys);
  MatchStream stream(matcher, true);
  const std::u16string fed = folded ? model::Fold(text) : text;
  std::minstd_rand random(piece_seed);
  for (std::size_t at = 0; at < fed.size();) {
    const std::size_t length = random() % (2 + piece_seed / 4);
    stream.Feed(std::u16string_view(fed).substr(at, length), folded);
    at += length;
  }
  bool all_found = true;
  for (const std::uint64_t position : positions) all_found &= position != model::kNone;
  Require(!stream.Done() || all_found, "done only when every key is found");
  stream.Finish();
  Require(stream.FirstPositions() == positions, "the positions of text fed in pieces");
  const std::vector<TextPoint> points = model::FirstPoints(keys, text);
  Require(stream.FirstPoints() == points, "the line and column of each key");
  Require(Verdict(entries, stream.FirstPositions()).verdict == expected.text,
          "the verdict of text fed in pieces");

  const bool as_bytes = piece_seed & 2;
  MatchSink sink(matcher, true, as_bytes, as_bytes);  // tesqua-scan's own, bytes or units
  PipeSource source(text_bytes, piece_seed);
  DecodeInChunks(source, GbkCodePage(), sink, 4 + piece_seed);
  const MatchStream& decoded = sink.Finish();
  if (!as_bytes) {
    Require(decoded.FirstPositions() == positions, "the positions of bytes decoded in chunks");
  }
  // Bytes searched undecoded count bytes: what is found, and where by line and column, holds
  // (a key not found has line and column 0).
  Require(decoded.FirstPoints() == points,
          "the keys found, and their lines and columns, in bytes decoded in chunks");
  return 0;
}
