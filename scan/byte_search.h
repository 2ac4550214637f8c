// The keys of a library as bytes of a UTF-8 or GBK text, so that such a text is searched where
// it lies, undecoded: ASCII letters are folded on the fly, every other byte compares exactly.
// Part of the matcher (scan/matcher.h), which builds these on first use per encoding.
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
  std::uint32_t window = 0;  // where the filter's window of the hash filter lies in it
};

// Built once per matcher and encoding, shared read-only.
struct ByteKeys {
  // A pattern that is no key: a letter outside ASCII that folds onto an ASCII one (the Kelvin
  // sign onto k, the long s onto s). Where one occurs, the rest of the text is decoded.
  static constexpr std::uint32_t kSpecial = ~std::uint32_t{0};
  static constexpr std::size_t kWindow = 4;  // bytes of the hash filter's window

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
  // its patterns has at that place, in either case. Else a bitmap over four-byte windows and
  // a table of patterns by window.
  static constexpr int kNibbleBytes = 4;
  static constexpr int kBuckets = 16;
  // Buckets 0-7, then 8-15; each row four times over, for vectors of 32 and 64 bytes.
  using NibbleTable = unsigned char[2][kNibbleBytes][64];
  bool nibbles = false;
  alignas(64) NibbleTable low = {};
  alignas(64) NibbleTable high = {};
  std::vector<std::uint32_t> bucket_patterns[kBuckets];

  std::vector<std::uint64_t> window_bits;  // by hash of a window
  unsigned window_shift = 0;
  struct WindowSlot {
    std::uint32_t window = 0;  // the folded window itself
    std::uint32_t first = 0;   // into window_patterns
    std::uint32_t count = 0;   // 0: a free slot
  };
  std::vector<WindowSlot> window_slots;
  std::vector<std::uint32_t> window_patterns;
  std::uint64_t short_starts[4] = {};  // first bytes of patterns shorter than a window
  std::vector<std::uint32_t> short_patterns[256];
  std::vector<unsigned char> short_firsts;  // the bytes those start with

  std::uint32_t WindowHash(std::uint32_t window) const {
    return std::uint32_t((window * 0x9E3779B1u) >> window_shift);
  }
  const WindowSlot* FindWindow(std::uint32_t window) const;
  void BuildNibbles();
  // Whether the pattern occurs at text (which has room for it and 16 bytes more).
  bool Matches(const BytePattern& pattern, const unsigned char* text) const;
  std::size_t MemoryBytes() const;
};

// Four bytes folded as the filters fold them: every byte ORed with 0x20, which leaves a
// lower-case letter's spellings equal (and joins a few other pairs, for the exact test to undo).
inline std::uint32_t FoldedWindow(const unsigned char* bytes) {
  std::uint32_t window;
  __builtin_memcpy(&window, bytes, 4);
  return window | 0x20202020u;
}

// From at on, 64 positions at a time while at < end, the first block with positions where
// some pattern of a bucket in low and high may start: returns where it begins, candidates gets
// the positions as bits and bucket_bits[i] and bucket_bits[64 + i] the buckets (0-7, 8-15) of
// position i. Returns end, and no candidates, when there is none. Reads 67 bytes past each
// block's start. Needs AVX2; uses AVX-512 where the processor has it.
std::size_t NextNibbleCandidates(const unsigned char* bytes, std::size_t at, std::size_t end,
                                 const ByteKeys::NibbleTable& low,
                                 const ByteKeys::NibbleTable& high, unsigned char* bucket_bits,
                                 std::uint64_t& candidates);

// From at on, 8 positions at a time while at < end, the first block with positions where the
// hash filter's window is set or a short pattern's first byte stands: returns where it
// begins, and the positions as bits. Without AVX2, each block is returned whole. Reads 16
// bytes past each block's start.
std::size_t NextWindowCandidates(const unsigned char* bytes, std::size_t at, std::size_t end,
                                 const ByteKeys& keys, std::uint32_t& candidates);

// The length of the character at bytes[0] as the decoders read it (an ill-formed byte is one
// character of its own); available: bytes from bytes[0] on, at least 1.
std::size_t CharacterLength(ByteEncoding encoding, const unsigned char* bytes,
                            std::size_t available);

}  // namespace tesqua
