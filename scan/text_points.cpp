#include "scan/text_points.h"

#include <emmintrin.h>

#include <algorithm>

#include "scan/unicode.h"

namespace tesqua {
namespace {

struct UnitText {
  // Eight units with no line break and no second half of a surrogate pair: eight characters.
  static constexpr std::size_t kBlock = 8;
  bool Plain(std::size_t at) const {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
    const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi16(block, _mm_set1_epi16(0x0A)),
                                        _mm_cmpeq_epi16(block, _mm_set1_epi16(0x0D)));
    const __m128i low = _mm_cmpeq_epi16(_mm_and_si128(block, _mm_set1_epi16(short(0xFC00))),
                                        _mm_set1_epi16(short(0xDC00)));
    return _mm_movemask_epi8(_mm_or_si128(breaks, low)) == 0;
  }
  char32_t At(std::size_t at) const { return units[at]; }
  std::size_t Length(std::size_t) const { return 1; }
  // The second half of a pair is no character of its own.
  static bool Continues(char32_t unit, char32_t previous) {
    return IsLowSurrogate(unit) && IsHighSurrogate(previous);
  }

  const char16_t* units;
};

struct ByteText {
  // Sixteen ASCII bytes and no line break: sixteen characters.
  static constexpr std::size_t kBlock = 16;
  bool Plain(std::size_t at) const {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n')),
                                        _mm_cmpeq_epi8(block, _mm_set1_epi8('\r')));
    return _mm_movemask_epi8(_mm_or_si128(breaks, block)) == 0;
  }
  char32_t At(std::size_t at) const { return bytes[at]; }
  std::size_t Length(std::size_t at) const {
    return CharacterLength(encoding, bytes + at, size - at);
  }
  static bool Continues(char32_t, char32_t) { return false; }

  const unsigned char* bytes;
  std::size_t size;
  ByteEncoding encoding;
};

}  // namespace

void PointCounter::Reset(std::size_t keys, const std::vector<std::uint32_t>& placed) {
  if (keys > 0 && points_.size() == keys) {
    for (const std::uint32_t key : placed) points_[key] = TextPoint{};
  } else {
    points_.assign(keys, TextPoint{});
  }
  unplaced_.clear();
  counted_ = 0;
  line_ = 1;
  column_ = 0;
  previous_ = 0;
}

void PointCounter::Shift(std::size_t by) {
  counted_ = counted_ > by ? counted_ - by : 0;
  for (auto& found : unplaced_) found.first -= by;
}

void PointCounter::Advance(const char16_t* units, std::size_t end) {
  Count(UnitText{units}, end);
}

void PointCounter::Advance(const unsigned char* bytes, std::size_t end, std::size_t size,
                           ByteEncoding encoding) {
  Count(ByteText{bytes, size, encoding}, end);
}

template <typename Text>
void PointCounter::Count(const Text& text, std::size_t end) {
  std::sort(unplaced_.begin(), unplaced_.end());
  std::size_t next_found = 0;
  std::size_t at = counted_;
  while (true) {
    if (next_found < unplaced_.size() && unplaced_[next_found].first <= at &&
        unplaced_[next_found].first < end) {
      points_[unplaced_[next_found++].second] = TextPoint{line_, column_ + 1};
      continue;
    }
    if (at >= end) break;
    const std::size_t stop =
        next_found < unplaced_.size() ? std::min(end, unplaced_[next_found].first) : end;
    while (at + Text::kBlock <= stop && text.Plain(at)) {
      column_ += Text::kBlock;
      at += Text::kBlock;
      previous_ = text.At(at - 1);
    }
    if (at >= stop) continue;
    const char32_t character = text.At(at);
    if (character == U'\r' || (character == U'\n' && previous_ != U'\r')) {
      ++line_;
      column_ = 0;
    } else if (character != U'\n' && !Text::Continues(character, previous_)) {
      ++column_;
    }
    previous_ = character;
    at += text.Length(at);
  }
  unplaced_.erase(unplaced_.begin(), unplaced_.begin() + std::ptrdiff_t(next_found));
  counted_ = std::max(counted_, at);
}

}  // namespace tesqua
