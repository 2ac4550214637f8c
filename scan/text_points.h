// Lines and columns of the keys a stream finds, counted behind its search over the units or
// the bytes it holds: one counter for both, so that a text gives the same points either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "scan/byte_keys.h"

namespace tesqua {

// A position in a text: lines end at CR LF, CR or LF; columns count characters (a surrogate
// pair is one). Both start at 1.
struct TextPoint {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  bool operator==(const TextPoint&) const = default;
};

class PointCounter {
 public:
  // Starts over, at line 1 before the first character, for keys keys; for as many keys as
  // before, only those of placed (the keys found since the last start) are undone.
  void Reset(std::size_t keys, const std::vector<std::uint32_t>& placed);
  // Key key was found at position at of what the stream holds, not yet counted to.
  void Found(std::uint32_t key, std::size_t at) { unplaced_.emplace_back(at, key); }
  // The stream dropped the first by positions of what it holds.
  void Shift(std::size_t by);
  // The stream dropped all it holds, counted and placed to its end.
  void Forget() { counted_ = 0; }

  // Counts on to end (a character that starts before it is counted whole) and places the keys
  // found before end: over units, or over bytes of encoding of which size are held.
  void Advance(const char16_t* units, std::size_t end);
  void Advance(const unsigned char* bytes, std::size_t end, std::size_t size,
               ByteEncoding encoding);

  std::size_t Counted() const { return counted_; }
  // The line, and the characters of it, before Counted().
  TextPoint Here() const { return TextPoint{line_, column_}; }
  // Per key; 0 and 0 where none is placed.
  const std::vector<TextPoint>& Points() const { return points_; }

 private:
  template <typename Text>
  void Count(const Text& text, std::size_t end);

  std::vector<TextPoint> points_;
  std::vector<std::pair<std::size_t, std::uint32_t>> unplaced_;  // position and key
  std::size_t counted_ = 0;  // position up to which lines and columns are counted
  std::uint64_t line_ = 1;
  std::uint64_t column_ = 0;  // characters of the current line before counted_
  char32_t previous_ = 0;     // the unit or byte before counted_
};

}  // namespace tesqua
