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

namespace tesqua {
namespace {

// Decoded text straight into the matcher, as files are scanned: the decoder stops once every
// key is found, and starts the text over when the bytes turn out to be in another encoding.
// With bytes, UTF-8 and GBK go to the matcher undecoded, as tesqua-scan gives them.
class MatchSink : public TextSink {
 public:
  MatchSink(MatchStream& stream, bool bytes) : stream_(stream), bytes_(bytes) {}
  void Restart() override { stream_.Reset(); }
  bool Take(std::u16string_view units, bool folded) override {
    stream_.Feed(units, folded);
    return !stream_.Done();
  }
  bool TakesFolded() const override { return true; }
  bool TakesBytes(ByteEncoding) const override { return bytes_; }
  bool TakeBytes(std::string_view bytes, ByteEncoding encoding) override {
    stream_.FeedBytes(bytes, encoding);
    return !stream_.Done();
  }

 private:
  MatchStream& stream_;
  bool bytes_;
};

}  // namespace
}  // namespace tesqua

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
  const std::vector<TextPoint> points = stream.FirstPoints();
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const model::Point at =
        positions[k] == model::kNone ? model::Point{0, 0} : model::PointAt(text, positions[k]);
    Require(points[k] == TextPoint{at.line, at.column}, "the line and column of each key");
  }
  Require(Verdict(entries, stream.FirstPositions()).verdict == expected.text,
          "the verdict of text fed in pieces");

  const bool as_bytes = piece_seed & 2;
  MatchStream decoded(matcher, true);
  MatchSink sink(decoded, as_bytes);
  PipeSource source(text_bytes, piece_seed);
  DecodeInChunks(source, GbkCodePage(), sink, 4 + piece_seed);
  decoded.Finish();
  if (!as_bytes) {
    Require(decoded.FirstPositions() == positions, "the positions of bytes decoded in chunks");
  }
  // Bytes searched undecoded count bytes: what is found, and where by line and column, holds.
  const std::vector<std::uint64_t> found = decoded.FirstPositions();
  const std::vector<TextPoint> found_points = decoded.FirstPoints();
  for (std::size_t k = 0; k < keys.size(); ++k) {
    Require((found[k] != model::kNone) == (positions[k] != model::kNone),
            "the keys found in bytes decoded in chunks");
    const model::Point at =
        positions[k] == model::kNone ? model::Point{0, 0} : model::PointAt(text, positions[k]);
    Require(found_points[k] == TextPoint{at.line, at.column},
            "the line and column of each key in bytes decoded in chunks");
  }
  return 0;
}
