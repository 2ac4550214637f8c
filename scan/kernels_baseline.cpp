#include <emmintrin.h>

#include "scan/kernels_shared.h"

namespace tesqua {
namespace kernels {
namespace {

// Which of eight units fold as described at FoldUnits.
__m128i PlainFoldSse2(__m128i block) {
  const __m128i sign = _mm_set1_epi16(short(0x8000));
  auto in = [&](int start, int end) {
    return _mm_cmplt_epi16(_mm_xor_si128(_mm_sub_epi16(block, _mm_set1_epi16(short(start))), sign),
                           _mm_set1_epi16(short((end - start) ^ 0x8000)));
  };
  return _mm_or_si128(_mm_or_si128(_mm_or_si128(in(0, 0x80), in(0x2000, 0x2100)),
                                   _mm_or_si128(in(0x2D00, 0xA600), in(0xAC00, 0xD800))),
                      _mm_andnot_si128(in(0xFF21, 0xFF3B), in(0xE000, 0x10000)));
}

std::size_t NextShiftCandidatesScalar(const unsigned char* bytes, std::size_t at, std::size_t end,
                                      const ByteKeys& keys, ShiftCandidates& found) {
  ShiftScan scan(keys, found.carry);
  for (; at < end; at += 16) {
    std::uint32_t hashes[16];
    for (std::size_t i = 0; i < 16; ++i) hashes[i] = keys.ShiftHash(bytes + at + i) << 4;
    if (scan.Block(bytes, at, end, hashes)) return scan.Done(at, found);
  }
  scan.open[0] = scan.open[1] = 0;
  scan.starts = 0;
  return scan.Done(end, found);
}

void FoldUnitsBaseline(const char16_t* units, std::size_t count, char16_t* out) {
  FoldUnitsSse2(units, count, out, 0);
}

}  // namespace

// Units that fold, if at all, only from A-Z onto a-z: ASCII, general punctuation, CJK, kana,
// Yi, Hangul, the private use area and the full-width forms other than the letters A-Z. Nearly
// every unit of a formula is one of them. Compares are unsigned through the flipped sign.
void FoldUnitsSse2(const char16_t* units, std::size_t count, char16_t* out, std::size_t from) {
  const char16_t* folds = BasicPlaneFoldTable();
  std::size_t i = from;
  const __m128i before_a = _mm_set1_epi16('A' - 1);
  const __m128i after_z = _mm_set1_epi16('Z' + 1);
  const __m128i to_lower = _mm_set1_epi16(0x20);
  while (i + 8 <= count) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    if (_mm_movemask_epi8(PlainFoldSse2(block)) == 0xFFFF) {
      const __m128i upper =
          _mm_and_si128(_mm_cmpgt_epi16(block, before_a), _mm_cmplt_epi16(block, after_z));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       _mm_add_epi16(block, _mm_and_si128(upper, to_lower)));
      i += 8;
    } else {
      i = FoldScalar(units, count, out, i, i + 8, folds);
    }
  }
  FoldScalar(units, count, out, i, count, folds);
}

}  // namespace kernels

VectorKernels BaselineKernels() {
  VectorKernels kernels;
  kernels.width = VectorWidth::kNone;
  kernels.widen_ascii = kernels::WidenAsciiWith<nullptr>;
  kernels.fold_units = kernels::FoldUnitsBaseline;
  kernels.unit_nibbles = nullptr;
  kernels.next_nibble_candidates = nullptr;
  kernels.next_shift_candidates = kernels::NextShiftCandidatesScalar;
  kernels.check_utf8_blocks = nullptr;
  return kernels;
}

}  // namespace tesqua
