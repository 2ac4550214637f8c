// What the kernels of more than one instruction set share: the scalar and SSE2 pieces that
// wider kernels fall back on, and the rules of UTF-8 as tables. For scan/kernels_*.cpp only.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "scan/case_folding.h"
#include "scan/unicode.h"
#include "scan/vector_kernels.h"

namespace tesqua::kernels {

// Folds units [i, stop) one by one, a surrogate pair as one character; may end one unit past
// stop to keep a pair whole. Returns where it ended.
inline std::size_t FoldScalar(const char16_t* units, std::size_t count, char16_t* out,
                              std::size_t i, std::size_t stop, const char16_t* folds) {
  while (i < stop) {
    const char16_t unit = units[i];
    if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
      SplitSurrogates(FoldCase(JoinSurrogates(unit, units[i + 1])), out + i);
      i += 2;
    } else {
      out[i] = folds[unit];
      ++i;
    }
  }
  return i;
}

// Folds units from `from` on with SSE2, eight at a time where they fold plainly, and the rest
// one by one (scan/kernels_baseline.cpp).
void FoldUnitsSse2(const char16_t* units, std::size_t count, char16_t* out, std::size_t from);

// WidenAscii, in blocks of sixteen; with a wide_run, a long run goes on in wider blocks.
template <std::size_t (*wide_run)(const char*, std::size_t, char16_t*, bool)>
std::size_t WidenAsciiWith(const char* bytes, std::size_t count, char16_t* out, bool fold) {
  const auto widen = [fold](char byte) {
    return char16_t(fold && byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte);
  };
  const __m128i zero = _mm_setzero_si128();
  const __m128i before_a = _mm_set1_epi8('A' - 1);
  const __m128i after_z = _mm_set1_epi8('Z' + 1);
  const __m128i to_lower = _mm_set1_epi8(fold ? 0x20 : 0);
  // Each block is widened whole, even where the run ends inside it: between the characters of
  // CJK text most runs are short, and one block settles them without a loop over bytes.
  std::size_t i = 0;
  while (i + 16 <= count) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i upper =
        _mm_and_si128(_mm_cmpgt_epi8(block, before_a), _mm_cmplt_epi8(block, after_z));
    block = _mm_add_epi8(block, _mm_and_si128(upper, to_lower));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(block, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(block, zero));
    const int high_bits = _mm_movemask_epi8(block);  // A-Z never reach the high bit
    if (high_bits != 0) return i + std::size_t(std::countr_zero(unsigned(high_bits)));
    i += 16;
    // A long run, such as a file of plain ASCII, goes on in wider blocks.
    if (wide_run != nullptr && i == 64 && count >= 128) {
      i += wide_run(bytes + i, count - i, out + i, fold);
    }
  }
  for (; i < count && static_cast<signed char>(bytes[i]) >= 0; ++i) out[i] = widen(bytes[i]);
  return i;
}

// Where a short pattern's first byte stands among the 16 positions from bytes.
inline unsigned ShortStarts(const unsigned char* bytes,
                            const __m128i (&first)[ByteKeys::kShortFirsts], std::size_t firsts) {
  if (firsts == 0) return 0;
  if (firsts > ByteKeys::kShortFirsts) return 0xFFFF;
  const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  __m128i equal = _mm_setzero_si128();
  for (const __m128i& byte : first) equal = _mm_or_si128(equal, _mm_cmpeq_epi8(raw, byte));
  return unsigned(_mm_movemask_epi8(equal));
}

// The low 64 bits of a vector, in one move on x64 and in two 32-bit halves on x86, which has
// no 64-bit register to move them to.
inline std::uint64_t Low64(__m128i v) {
  std::uint64_t low;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), v);
  return low;
}

// The shift-or filter's state between blocks of 16 positions, and what a block found.
struct ShiftScan {
  ShiftScan(const ByteKeys& keys, std::uint64_t carry)
      : table(keys.shift_table.data()),
        live(keys.live_buckets),
        firsts(keys.short_firsts.size()),
        state(_mm_set_epi64x(0, std::int64_t(carry))) {
    for (std::size_t k = 0; k < ByteKeys::kShortFirsts; ++k) {
      first[k] = _mm_set1_epi8(char(firsts == 0 ? 0 : keys.short_firsts[std::min(k, firsts - 1)]));
    }
  }

  // The entry at 16 * hash, shifted up by lanes bytes within 16.
  __m128i Lanes(std::uint32_t at, int lanes) const {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(
        reinterpret_cast<const unsigned char*>(table + 1) + at - lanes));
  }

  // Takes the window hashes (times 16) of the 16 positions from at; whether they hold a
  // candidate. Lane j of the window at position i goes to byte i + j of the state.
  __attribute__((always_inline)) bool Block(const unsigned char* bytes, std::size_t at,
                                            std::size_t end, const std::uint32_t* hashes) {
    for (int half = 0; half < 2; ++half) {
      const std::uint32_t* eight = hashes + 8 * half;
      // The hashes read in pairs: half the loads, which are what this loop is short of.
      for (int i = 0; i < 8; i += 2) {
        std::uint64_t pair;
        __builtin_memcpy(&pair, eight + i, 8);
        state = _mm_or_si128(state, Lanes(std::uint32_t(pair), i));
        state = _mm_or_si128(state, Lanes(std::uint32_t(pair >> 32), i + 1));
      }
      open[half] = ~Low64(state) & live;
      state = _mm_srli_si128(state, 8);
    }
    starts = ShortStarts(bytes + at, first, firsts);
    if (end - at < 16) {
      const std::size_t left = end - at;
      open[0] &= left >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * left)) - 1;
      open[1] &= left <= 8 ? 0 : (std::uint64_t{1} << (8 * (left - 8))) - 1;
      starts &= (1u << left) - 1;
    }
    return (open[0] | open[1] | starts) != 0;
  }

  std::size_t Done(std::size_t at, ShiftCandidates& found) const {
    found.carry = Low64(state);
    found.open[0] = open[0];
    found.open[1] = open[1];
    found.starts = starts;
    return at;
  }

  const std::uint64_t* table;
  std::uint64_t live;
  std::size_t firsts;
  __m128i first[ByteKeys::kShortFirsts];
  __m128i state;
  std::uint64_t open[2] = {};
  unsigned starts = 0;
};

// Which rule of UTF-8 a pair of bytes may break, by the high and low nibble of the first and
// the high nibble of the second; three table lookups per byte tell every ill-formed pair.
constexpr std::uint8_t kTooShort = 1 << 0;  // a lead not followed by a continuation
constexpr std::uint8_t kTooLong = 1 << 1;   // a continuation after ASCII
constexpr std::uint8_t kOverlong3 = 1 << 2;
constexpr std::uint8_t kTooLarge = 1 << 3;
constexpr std::uint8_t kSurrogate = 1 << 4;
constexpr std::uint8_t kOverlong2 = 1 << 5;
constexpr std::uint8_t kTooLarge1000 = 1 << 6;
constexpr std::uint8_t kOverlong4 = 1 << 6;
constexpr std::uint8_t kTwoContinuations = 1 << 7;
constexpr std::uint8_t kCarry = kTooShort | kTooLong | kTwoContinuations;

constexpr std::uint8_t kFirstHigh[16] = {kTooLong,
                                         kTooLong,
                                         kTooLong,
                                         kTooLong,
                                         kTooLong,
                                         kTooLong,
                                         kTooLong,
                                         kTooLong,
                                         kTwoContinuations,
                                         kTwoContinuations,
                                         kTwoContinuations,
                                         kTwoContinuations,
                                         kTooShort | kOverlong2,
                                         kTooShort,
                                         kTooShort | kOverlong3 | kSurrogate,
                                         kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
constexpr std::uint8_t kFirstLow[16] = {kCarry | kOverlong2 | kOverlong3 | kOverlong4,
                                        kCarry | kOverlong2,
                                        kCarry,
                                        kCarry,
                                        kCarry | kTooLarge,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
                                        kCarry | kTooLarge | kTooLarge1000,
                                        kCarry | kTooLarge | kTooLarge1000};
constexpr std::uint8_t kSecondHigh[16] = {
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge1000 | kOverlong4,
    kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge,
    kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,
    kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort};

// Blocks are checked in runs of this many without a branch; a run that breaks a rule is gone
// through again block by block, to find the first block that does.
constexpr std::size_t kRunBlocks = 16;
// The check asks for the bytes this far ahead: it is where a large file's bytes are first read
// from memory, and waiting for each line as it comes costs more than the check itself.
constexpr std::size_t kPrefetch = 16 * 1024;

// Whether the last block checked, ending at end, ends inside a sequence.
inline bool EndsInSequence(const unsigned char* end) {
  return end[-1] >= 0xC0 || end[-2] >= 0xE0 || end[-3] >= 0xF0;
}

}  // namespace tesqua::kernels
