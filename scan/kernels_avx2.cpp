#include <immintrin.h>

#include "scan/kernels_shared.h"

#define TESQUA_KERNEL_TARGET __attribute__((target("avx2")))

namespace tesqua::kernels {
namespace {

// The vector of the generic kernels (scan/kernels_generic.h), 32 bytes.
struct Avx2Ops {
  using V = __m256i;
  static constexpr std::size_t kBytes = 32;
  TESQUA_KERNEL_TARGET static V Zero() { return _mm256_setzero_si256(); }
  TESQUA_KERNEL_TARGET static V Splat(char byte) { return _mm256_set1_epi8(byte); }
  TESQUA_KERNEL_TARGET static V Load(const unsigned char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  }
  TESQUA_KERNEL_TARGET static V LoadAligned(const unsigned char* at) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(at));
  }
  TESQUA_KERNEL_TARGET static void Store(unsigned char* at, V v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
  }
  TESQUA_KERNEL_TARGET static V And(V a, V b) { return _mm256_and_si256(a, b); }
  TESQUA_KERNEL_TARGET static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  TESQUA_KERNEL_TARGET static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  TESQUA_KERNEL_TARGET static V HighNibbles(V v) {
    return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
  }
  TESQUA_KERNEL_TARGET static V Shuffle(V table, V index) {
    return _mm256_shuffle_epi8(table, index);
  }
  TESQUA_KERNEL_TARGET static V Broadcast16(const std::uint8_t (&cells)[16]) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)));
  }
  // Across the two lanes and the previous block.
  template <int n>
  TESQUA_KERNEL_TARGET static V Back(V previous, V input) {
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - n);
  }
  TESQUA_KERNEL_TARGET static V SubsU8(V a, V b) { return _mm256_subs_epu8(a, b); }
  TESQUA_KERNEL_TARGET static V MaxU8(V a, V b) { return _mm256_max_epu8(a, b); }
  TESQUA_KERNEL_TARGET static std::uint32_t NonZero(V v) {
    return ~std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
  }
  TESQUA_KERNEL_TARGET static bool AnyAtLeast(V v, unsigned char floor) {
    const __m256i at_least =
        _mm256_cmpeq_epi8(_mm256_max_epu8(v, _mm256_set1_epi8(char(floor))), v);
    return _mm256_movemask_epi8(at_least) != 0;
  }
};

}  // namespace
}  // namespace tesqua::kernels

#include "scan/kernels_generic.h"

namespace tesqua {
namespace kernels {
namespace {

// Positions in [at, at + 32) where each of the first units of some key of a bucket may stand,
// as bits; reads units up to at + 34.
__attribute__((target("avx2"))) std::uint32_t NibbleCandidates(const char16_t* units,
                                                               const unsigned char (*low)[32],
                                                               const unsigned char (*high)[32],
                                                               int count) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  __m256i buckets = _mm256_set1_epi8(-1);
  for (int j = 0; j < count; ++j) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + j));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + j + 16));
    // Bytes in lane order: units 0-7, 16-23, then 8-15, 24-31; undone once, at the end.
    const __m256i bytes = _mm256_packus_epi16(first, second);
    const __m256i low_table = _mm256_load_si256(reinterpret_cast<const __m256i*>(low[j]));
    const __m256i high_table = _mm256_load_si256(reinterpret_cast<const __m256i*>(high[j]));
    const __m256i by_low = _mm256_shuffle_epi8(low_table, _mm256_and_si256(bytes, nibble));
    const __m256i by_high =
        _mm256_shuffle_epi8(high_table, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
    buckets = _mm256_and_si256(buckets, _mm256_and_si256(by_low, by_high));
  }
  buckets = _mm256_permute4x64_epi64(buckets, 0xD8);
  const __m256i none = _mm256_cmpeq_epi8(buckets, _mm256_setzero_si256());
  return ~std::uint32_t(_mm256_movemask_epi8(none));
}

// Folds sixteen units at a time while they all fold plainly; returns where it stopped.
__attribute__((target("avx2"))) std::size_t FoldUnitsAvx2(const char16_t* units, std::size_t count,
                                                          char16_t* out) {
  const char16_t* folds = BasicPlaneFoldTable();
  const __m256i before_a = _mm256_set1_epi16('A' - 1);
  const __m256i after_z = _mm256_set1_epi16('Z' + 1);
  const __m256i to_lower = _mm256_set1_epi16(0x20);
  const __m256i sign = _mm256_set1_epi16(short(0x8000));
  const __m256i ascii_mask = _mm256_set1_epi16(short(0xFF80));
  const __m256i starts[6] = {_mm256_set1_epi16(0),
                             _mm256_set1_epi16(0x2000),
                             _mm256_set1_epi16(0x2D00),
                             _mm256_set1_epi16(short(0xAC00)),
                             _mm256_set1_epi16(short(0xE000)),
                             _mm256_set1_epi16(short(0xFF21))};
  const __m256i limits[6] = {
      _mm256_set1_epi16(short(0x80 ^ 0x8000)),   _mm256_set1_epi16(short(0x100 ^ 0x8000)),
      _mm256_set1_epi16(short(0x7900 ^ 0x8000)), _mm256_set1_epi16(short(0x2C00 ^ 0x8000)),
      _mm256_set1_epi16(short(0x2000 ^ 0x8000)), _mm256_set1_epi16(short(0x1A ^ 0x8000))};
  std::size_t i = 0;
  while (i + 16 <= count) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + i));
    const __m256i upper =
        _mm256_and_si256(_mm256_cmpgt_epi16(block, before_a), _mm256_cmpgt_epi16(after_z, block));
    const __m256i folded = _mm256_add_epi16(block, _mm256_and_si256(upper, to_lower));
    // Mostly ASCII: one test settles the block.
    if (_mm256_testz_si256(block, ascii_mask)) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), folded);
      i += 16;
      continue;
    }
    __m256i in[6];
    for (int r = 0; r < 6; ++r) {
      in[r] =
          _mm256_cmpgt_epi16(limits[r], _mm256_xor_si256(_mm256_sub_epi16(block, starts[r]), sign));
    }
    const __m256i plain = _mm256_or_si256(
        _mm256_or_si256(_mm256_or_si256(in[0], in[1]), _mm256_or_si256(in[2], in[3])),
        _mm256_andnot_si256(in[5], in[4]));
    if (_mm256_movemask_epi8(plain) == -1) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), folded);
      i += 16;
    } else {
      i = FoldScalar(units, count, out, i, i + 16, folds);
    }
  }
  return i;
}

__attribute__((target("avx2"))) void FoldUnitsAvx2Then(const char16_t* units, std::size_t count,
                                                       char16_t* out) {
  FoldUnitsSse2(units, count, out, FoldUnitsAvx2(units, count, out));
}

__attribute__((target("avx2"))) std::size_t WidenAsciiAvx2(const char* bytes, std::size_t count,
                                                           char16_t* out, bool fold) {
  const __m256i before_a = _mm256_set1_epi8('A' - 1);
  const __m256i after_z = _mm256_set1_epi8('Z' + 1);
  const __m256i to_lower = _mm256_set1_epi8(fold ? 0x20 : 0);
  std::size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
    if (_mm256_movemask_epi8(block) != 0) break;
    const __m256i upper =
        _mm256_and_si256(_mm256_cmpgt_epi8(block, before_a), _mm256_cmpgt_epi8(after_z, block));
    block = _mm256_add_epi8(block, _mm256_and_si256(upper, to_lower));
    const __m128i low = _mm256_castsi256_si128(block);
    const __m128i high = _mm256_extracti128_si256(block, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cvtepu8_epi16(low));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16), _mm256_cvtepu8_epi16(high));
  }
  return i;
}

// ShiftHash of the windows at 8 positions, times 16: where their entries lie in the table.
__attribute__((target("avx2"))) inline void HashesAvx2(const unsigned char* bytes, __m128i shift,
                                                       std::uint32_t* hashes) {
  // Each window's three bytes in a 32-bit lane above a zero byte, as ShiftHash reads them.
  const __m256i windows_of = _mm256_setr_epi8(-1, 0, 1, 2, -1, 1, 2, 3, -1, 2, 3, 4, -1, 3, 4, 5,
                                              -1, 4, 5, 6, -1, 5, 6, 7, -1, 6, 7, 8, -1, 7, 8, 9);
  const __m256i raw =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
  const __m256i windows =
      _mm256_or_si256(_mm256_shuffle_epi8(raw, windows_of), _mm256_set1_epi32(0x20202000));
  const __m256i product = _mm256_mullo_epi32(windows, _mm256_set1_epi32(int(0x9E3779B1u)));
  _mm256_store_si256(reinterpret_cast<__m256i*>(hashes),
                     _mm256_slli_epi32(_mm256_srl_epi32(product, shift), 4));
}

__attribute__((target("avx2"))) std::size_t NextShiftCandidatesAvx2(const unsigned char* bytes,
                                                                    std::size_t at, std::size_t end,
                                                                    const ByteKeys& keys,
                                                                    ShiftCandidates& found) {
  ShiftScan scan(keys, found.carry);
  const __m128i shift = _mm_cvtsi32_si128(int(32 - keys.shift_bits));  // ShiftHash's
  for (; at < end; at += 16) {
    alignas(32) std::uint32_t hashes[16];
    HashesAvx2(bytes + at, shift, hashes);
    HashesAvx2(bytes + at + 8, shift, hashes + 8);
    // Read back from memory: loads cost less than extractions from a vector. Only the hashes
    // are to be read again, nothing else that the loop keeps in registers.
    asm volatile("" : "+m"(hashes));
    if (scan.Block(bytes, at, end, hashes)) return scan.Done(at, found);
  }
  scan.open[0] = scan.open[1] = 0;
  scan.starts = 0;
  return scan.Done(end, found);
}

}  // namespace
}  // namespace kernels

VectorKernels Avx2Kernels() {
  VectorKernels kernels = BaselineKernels();
  kernels.width = VectorWidth::kAvx2;
  kernels.widen_ascii = kernels::WidenAsciiWith<kernels::WidenAsciiAvx2>;
  kernels.fold_units = kernels::FoldUnitsAvx2Then;
  kernels.unit_nibbles = kernels::NibbleCandidates;
  kernels.next_nibble_candidates = kernels::NextNibbleCandidates<kernels::Avx2Ops>;
  kernels.next_shift_candidates = kernels::NextShiftCandidatesAvx2;
  kernels.check_utf8_blocks = kernels::CheckUtf8Blocks<kernels::Avx2Ops>;
  return kernels;
}

}  // namespace tesqua
