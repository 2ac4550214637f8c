#include <immintrin.h>

#include "scan/kernels_shared.h"

namespace tesqua {
namespace kernels {
namespace {

__attribute__((target("avx512bw"))) std::size_t NextNibbleCandidatesAvx512(
    const unsigned char* bytes, std::size_t at, std::size_t end, const ByteKeys::NibbleTable& low,
    const ByteKeys::NibbleTable& high, unsigned char* bucket_bits, std::uint64_t& candidates) {
  __m512i tables[4 * ByteKeys::kNibbleBytes];
  for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
    tables[4 * j] = _mm512_load_si512(low[0][j]);
    tables[4 * j + 1] = _mm512_load_si512(high[0][j]);
    tables[4 * j + 2] = _mm512_load_si512(low[1][j]);
    tables[4 * j + 3] = _mm512_load_si512(high[1][j]);
  }
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  for (; at < end; at += 64) {
    __m512i first = _mm512_set1_epi8(-1);
    __m512i second = _mm512_set1_epi8(-1);
    for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
      const __m512i data = _mm512_loadu_si512(bytes + at + j);
      const __m512i lows = _mm512_and_si512(data, nibble);
      const __m512i highs = _mm512_and_si512(_mm512_srli_epi16(data, 4), nibble);
      const __m512i* table = tables + 4 * j;
      first = _mm512_and_si512(first, _mm512_and_si512(_mm512_shuffle_epi8(table[0], lows),
                                                       _mm512_shuffle_epi8(table[1], highs)));
      second = _mm512_and_si512(second, _mm512_and_si512(_mm512_shuffle_epi8(table[2], lows),
                                                         _mm512_shuffle_epi8(table[3], highs)));
    }
    std::uint64_t found =
        _mm512_test_epi8_mask(_mm512_or_si512(first, second), _mm512_or_si512(first, second));
    if (end - at < 64) found &= (std::uint64_t{1} << (end - at)) - 1;
    if (found != 0) {
      _mm512_storeu_si512(bucket_bits, first);
      _mm512_storeu_si512(bucket_bits + 64, second);
      candidates = found;
      return at;
    }
  }
  candidates = 0;
  return end;
}

struct Utf8Tables512 {
  __m512i first_high, first_low, second_high;
};

__attribute__((target("avx512bw"))) __m512i Table512(const std::uint8_t (&cells)[16]) {
  // The masked forms: the plain ones leave a value undefined that the compiler warns of.
  return _mm512_maskz_broadcast_i32x4(0xFFFF,
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)));
}

// As the AVX2 one, over 64 bytes.
__attribute__((target("avx512bw"))) inline __m512i Utf8Errors(const Utf8Tables512& tables,
                                                              __m512i previous, __m512i input) {
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  // Each lane's lane before: the last lane of the previous block, then the input's first three.
  const __m512i carried = _mm512_maskz_alignr_epi64(0xFF, input, previous, 6);
  const __m512i back1 = _mm512_alignr_epi8(input, carried, 15);
  const __m512i back2 = _mm512_alignr_epi8(input, carried, 14);
  const __m512i back3 = _mm512_alignr_epi8(input, carried, 13);
  const __m512i special = _mm512_and_si512(
      _mm512_and_si512(_mm512_shuffle_epi8(tables.first_high,
                                           _mm512_and_si512(_mm512_srli_epi16(back1, 4), nibble)),
                       _mm512_shuffle_epi8(tables.first_low, _mm512_and_si512(back1, nibble))),
      _mm512_shuffle_epi8(tables.second_high,
                          _mm512_and_si512(_mm512_srli_epi16(input, 4), nibble)));
  const __m512i third = _mm512_subs_epu8(back2, _mm512_set1_epi8(char(0xE0 - 0x80)));
  const __m512i fourth = _mm512_subs_epu8(back3, _mm512_set1_epi8(char(0xF0 - 0x80)));
  const __m512i must_continue =
      _mm512_and_si512(_mm512_or_si512(third, fourth), _mm512_set1_epi8(char(0x80)));
  return _mm512_xor_si512(must_continue, special);
}

// As the AVX2 one, in blocks of 64 bytes.
__attribute__((target("avx512bw"))) std::size_t CheckUtf8BlocksAvx512(const unsigned char* data,
                                                                      std::size_t size,
                                                                      bool& long_sequence) {
  const Utf8Tables512 tables{Table512(kFirstHigh), Table512(kFirstLow), Table512(kSecondHigh)};
  const std::size_t blocks_end = size / 64 * 64;
  __m512i previous = _mm512_setzero_si512();
  __m512i highest = previous;
  __m512i highest_before = previous;
  std::size_t i = 0;
  while (i < blocks_end) {
    const std::size_t run_end = std::min(blocks_end, i + kRunBlocks * 64);
    const __m512i run_previous = previous;
    const __m512i run_highest = highest;
    const __m512i run_highest_before = highest_before;
    __m512i errors = _mm512_setzero_si512();
    for (std::size_t j = i; j < run_end; j += 64) {
      _mm_prefetch(reinterpret_cast<const char*>(data + j + kPrefetch), _MM_HINT_T0);
      const __m512i input = _mm512_loadu_si512(data + j);
      errors = _mm512_or_si512(errors, Utf8Errors(tables, previous, input));
      previous = input;
      highest_before = highest;
      highest = _mm512_max_epu8(highest, input);
    }
    if (_mm512_test_epi8_mask(errors, errors) == 0) {
      i = run_end;
      continue;
    }
    previous = run_previous;
    highest = run_highest;
    highest_before = run_highest_before;
    for (; i < run_end; i += 64) {
      const __m512i input = _mm512_loadu_si512(data + i);
      const __m512i wrong = Utf8Errors(tables, previous, input);
      if (_mm512_test_epi8_mask(wrong, wrong) != 0) break;
      previous = input;
      highest_before = highest;
      highest = _mm512_max_epu8(highest, input);
    }
    break;
  }
  if (i > 0 && EndsInSequence(data + i)) {
    i -= 64;
    highest = highest_before;
  }
  long_sequence = _mm512_cmpge_epu8_mask(highest, _mm512_set1_epi8(char(0xE0))) != 0;
  return i;
}

}  // namespace
}  // namespace kernels

// Where AVX-512 would gain little, the AVX2 kernels serve.
VectorKernels Avx512Kernels() {
  VectorKernels kernels = Avx2Kernels();
  kernels.width = VectorWidth::kAvx512;
  kernels.next_nibble_candidates = kernels::NextNibbleCandidatesAvx512;
  kernels.check_utf8_blocks = kernels::CheckUtf8BlocksAvx512;
  return kernels;
}

}  // namespace tesqua
