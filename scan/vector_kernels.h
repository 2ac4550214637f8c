// The vector code of the scan: one table of kernels per instruction set (baseline SSE2, AVX2,
// AVX-512), one of them chosen once per process. The decoders and the matcher call through the
// table, or through the plain entry points below, and never test the processor themselves.
// The programs are built for any x86-64 processor: each kernel carries its own target
// attribute (scan/kernels_avx2.cpp, scan/kernels_avx512.cpp), no file is built for a wider one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scan/byte_keys.h"

namespace tesqua {

enum class VectorWidth { kNone, kAvx2, kAvx512 };

// What a block of the shift-or filter found: open[h] bit 8 * j + b where bucket b's last
// window may lie 8 * h + j bytes on, starts bit j where a short pattern's first byte stands;
// carry: lanes reaching into the next block (0 before the first, which lets all through).
struct ShiftCandidates {
  std::uint64_t carry = 0;
  std::uint64_t open[2] = {};
  unsigned starts = 0;
};

// Units the UTF-16 nibble prefilter reads from a block's start: 32 positions and the two
// units after the last, as far as the keys' first units reach.
inline constexpr std::size_t kUnitNibbleReads = 34;
// The zeroed units a text searched as units keeps after its end: the window hash reads a unit
// past a window's three, the nibble prefilter two units past a block of 32 positions.
inline constexpr std::size_t kUnitPadding = 8;
static_assert(kUnitPadding >= kUnitNibbleReads - 32 && kUnitPadding >= 1);
// Bytes the byte nibble filter reads from a block's start: 64 positions and the bytes after
// the last that the filter looks at.
inline constexpr std::size_t kByteNibbleReads = 64 + ByteKeys::kNibbleBytes - 1;
// Bytes the shift-or filter reads from a block's start: two loads of sixteen.
inline constexpr std::size_t kShiftReads = 32;
// The zero bytes a text searched as bytes keeps after its end: the most that a filter or the
// exact test (ByteKeys::Matches, sixteen bytes at a time) reads past the last position.
inline constexpr std::size_t kBytePadding = 96;
static_assert(kBytePadding >= kByteNibbleReads && kBytePadding >= kShiftReads + 16);

struct VectorKernels {
  VectorWidth width = VectorWidth::kNone;

  // WidenAscii.
  std::size_t (*widen_ascii)(const char* bytes, std::size_t count, char16_t* out, bool fold);
  // FoldUnits.
  void (*fold_units)(const char16_t* units, std::size_t count, char16_t* out);

  // Positions in [units, units + 32) where each of the first count units of some key of a
  // bucket may stand, as bits (low and high: a bucket bit per nibble of each unit's packed
  // byte). Reads kUnitNibbleReads units. Null without AVX2: the prefilter is then off.
  std::uint32_t (*unit_nibbles)(const char16_t* units, const unsigned char (*low)[32],
                                const unsigned char (*high)[32], int count);

  // From at on, 64 positions at a time while at < end, the first block with positions where
  // some pattern of a bucket in low and high may start: returns where it begins, candidates
  // gets the positions as bits and bucket_bits[i] and bucket_bits[64 + i] the buckets (0-7,
  // 8-15) of position i. Returns end, and no candidates, when there is none. Reads
  // kByteNibbleReads bytes from each block's start. Null without AVX2: the shift-or filter
  // serves every library then.
  std::size_t (*next_nibble_candidates)(const unsigned char* bytes, std::size_t at, std::size_t end,
                                        const ByteKeys::NibbleTable& low,
                                        const ByteKeys::NibbleTable& high,
                                        unsigned char* bucket_bits, std::uint64_t& candidates);

  // From at on, 16 positions at a time while at < end, the first block with candidates of the
  // shift-or filter: returns where it begins (end, with none, if there is no such block).
  // Reads kShiftReads bytes from each block's start.
  std::size_t (*next_shift_candidates)(const unsigned char* bytes, std::size_t at, std::size_t end,
                                       const ByteKeys& keys, ShiftCandidates& found);

  // The whole blocks from the start of data that are well-formed UTF-8 with no sequence cut
  // off at their end: returns how many bytes they hold (reads no further); long_sequence:
  // whether they hold a sequence of three or four bytes. Null without AVX2: CheckUtf8 goes
  // byte by byte then.
  std::size_t (*check_utf8_blocks)(const unsigned char* data, std::size_t size,
                                   bool& long_sequence);
};

// The kernels of the widest instruction set the processor has; TESQUA_VECTORS=avx2 or =none
// holds them to narrower ones, so that one machine can run every path.
const VectorKernels& ChooseKernels();
// ChooseKernels, asked once per process.
inline const VectorKernels& Kernels() {
  static const VectorKernels& chosen = ChooseKernels();
  return chosen;
}
// The kernels of width, which the processor must have; for tests and benchmarks that compare
// every set in one process.
const VectorKernels& KernelsFor(VectorWidth width);
// Whether the processor has width's instructions.
bool ProcessorHas(VectorWidth width);

// Each set's table, filled from the one below it (scan/kernels_*.cpp).
VectorKernels BaselineKernels();
VectorKernels Avx2Kernels();
VectorKernels Avx512Kernels();

// Copies the ASCII bytes at the start of bytes into out, one unit each, and returns how many
// there were. With fold, A-Z become a-z on the way. out has room for count units: those past
// the returned count may be written too, and hold nothing of use.
inline std::size_t WidenAscii(const char* bytes, std::size_t count, char16_t* out, bool fold) {
  return Kernels().widen_ascii(bytes, count, out, fold);
}

// Folds units into out (same length; out may be units), by simple case folding. A surrogate
// pair must not be split between two calls.
inline void FoldUnits(const char16_t* units, std::size_t count, char16_t* out) {
  Kernels().fold_units(units, count, out);
}

}  // namespace tesqua
