// The keys of a library as bytes of a UTF-8 or GBK text, so that such a text is searched where
// it lies, undecoded: ASCII letters are folded on the fly, every other byte compares exactly.
// Part of the matcher (scan/matcher.h), which builds these on first use per encoding; the
// search that uses them is MatchStream's (scan/byte_search.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tesqua {

enum class ByteEncoding { kUtf8, kGbk };

// What a key is to the byte search of one encoding.
enum class ByteKeyKind : std::uint8_t {
  kBytes,    // found by its bytes alone
  kDecoded,  // some of its letters have other spellings (É, é): found in the decoded text
  kNever,    // the encoding cannot hold it (a lone surrogate; a character GBK lacks)
};

struct BytePattern {
  std::uint32_t key = 0;     // the matcher's distinct key, or kSpecial
  std::uint32_t offset = 0;  // into ByteKeys::bytes and ::masks
  std::uint32_t length = 0;
  std::uint32_t window = 0;  // where the shift-or filter's last window lies in it
};

// Built once per matcher and encoding, shared read-only.
struct ByteKeys {
  // A pattern that is no key: a letter outside ASCII that folds onto an ASCII one (the Kelvin
  // sign onto k, the long s onto s). Where one occurs, the rest of the text is decoded.
  static constexpr std::uint32_t kSpecial = ~std::uint32_t{0};

  ByteKeys(const std::vector<std::u16string_view>& keys, ByteEncoding encoding);

  ByteEncoding encoding;
  std::vector<ByteKeyKind> kinds;  // per distinct key
  bool needs_decoding = false;     // a key of kind kDecoded
  std::vector<BytePattern> patterns;
  std::string bytes;        // the patterns' bytes, ASCII letters in lower case, with padding
  std::string masks;        // 0x20 where a byte is an ASCII letter compared without regard to case
  std::size_t longest = 0;  // bytes of the longest pattern
  std::size_t history = 0;  // bytes kept before the next position to search

  // A nibble filter over the first four bytes, sixteen buckets of patterns (AVX2, small
  // libraries): a bucket's bit is set for the low and the high nibble of each byte that one of
  // its patterns has at that place, in either case. Else a shift-or filter over hashed windows.
  static constexpr int kNibbleBytes = 4;
  static constexpr int kBuckets = 16;
  // Buckets 0-7, then 8-15; each row four times over, for vectors of 32 and 64 bytes.
  using NibbleTable = unsigned char[2][kNibbleBytes][64];
  bool nibbles = false;
  alignas(64) NibbleTable low = {};
  alignas(64) NibbleTable high = {};
  std::vector<std::uint32_t> bucket_patterns[kBuckets];

  // The shift-or filter: eight buckets of patterns, each looked at through the three-byte
  // windows of its last ten bytes (up to eight windows, one a lane). shift_table holds, by a
  // window's hash, a byte per lane: bit b set where no pattern of bucket b has that window at
  // that many windows before its last one. A position where every lane of a bucket is clear
  // for the windows before it is a candidate: the bucket's last window may lie there. Each
  // entry (at 2 * hash + 1) has eight zero bytes below it, so that one load from up to eight
  // bytes lower gives it shifted by as many lanes.
  static constexpr std::size_t kWindow = 3;
  static constexpr unsigned kLanes = 8;
  static constexpr unsigned kSpan = kWindow + kLanes - 1;  // bytes a filter looks at
  static constexpr int kShiftBuckets = 8;
  std::vector<std::uint64_t> shift_table;
  unsigned shift_bits = 0;
  std::uint64_t live_buckets = 0;  // bit b of every lane: bucket b holds patterns
  // Per bucket, bit s: it holds patterns of which the filter looks at s bytes (4-10).
  std::uint16_t bucket_spans[kShiftBuckets] = {};
  // Patterns by the folded last bytes (at most eight) of what the filter looks at.
  struct ConfirmSlot {
    std::uint64_t key = 0;
    std::uint32_t first = 0;  // into confirm_patterns
    std::uint32_t count : 28 = 0;
    std::uint32_t span : 4 = 0;  // 0: a free slot
  };
  static_assert(kSpan < 16);
  std::vector<ConfirmSlot> confirm_slots;
  std::vector<std::uint32_t> confirm_patterns;

  std::uint32_t ShiftHash(const unsigned char* window) const {
    std::uint32_t word;
    __builtin_memcpy(&word, window, 4);
    return std::uint32_t(((word | 0x202020u) << 8) * 0x9E3779B1u) >> (32 - shift_bits);
  }
  // The folded last (at most eight) of the span bytes a filter looks at, whose last window
  // starts at last.
  static std::uint64_t ConfirmKey(const unsigned char* last, unsigned span) {
    const unsigned used = span < 8 ? span : 8;
    std::uint64_t word;
    __builtin_memcpy(&word, last + kWindow - used, 8);
    word |= 0x2020202020202020u;
    return used == 8 ? word : word & ((std::uint64_t{1} << (8 * used)) - 1);
  }
  static std::size_t ConfirmIndex(std::uint64_t key, unsigned span) {
    return std::size_t(((key ^ span) * 0x9E3779B97F4A7C15u) >> 40);
  }
  // Patterns of a window or shorter, by their first byte (both cases of a letter), found by
  // comparing each position's byte with at most kShortFirsts of them (past that, each
  // position is looked at).
  static constexpr std::size_t kShortFirsts = 4;
  std::vector<unsigned char> short_firsts;
  std::vector<std::uint32_t> short_patterns[256];
  const ConfirmSlot* FindConfirm(std::uint64_t key, unsigned span) const;
  void BuildNibbles();
  void BuildShiftOr();
  void BuildConfirm();
  // Whether the pattern occurs at text (which has room for it and 16 bytes more).
  bool Matches(const BytePattern& pattern, const unsigned char* text) const;
  std::size_t MemoryBytes() const;
};

// The length of the character at bytes[0] as the decoders read it (an ill-formed byte is one
// character of its own); available: bytes from bytes[0] on, at least 1.
std::size_t CharacterLength(ByteEncoding encoding, const unsigned char* bytes,
                            std::size_t available);

}  // namespace tesqua
