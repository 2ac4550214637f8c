#include <immintrin.h>

#include <cstdint>

#include "scan/kernels_shared.h"

#define TESQUA_KERNEL_TARGET __attribute__((target("avx512bw")))

namespace tesqua::kernels {
namespace {

// The vector of the generic kernels (scan/kernels_generic.h), 64 bytes.
struct Avx512Ops {
  using V = __m512i;
  static constexpr std::size_t kBytes = 64;
  TESQUA_KERNEL_TARGET static V Zero() { return _mm512_setzero_si512(); }
  TESQUA_KERNEL_TARGET static V Splat(char byte) { return _mm512_set1_epi8(byte); }
  TESQUA_KERNEL_TARGET static V Load(const unsigned char* at) { return _mm512_loadu_si512(at); }
  TESQUA_KERNEL_TARGET static V LoadAligned(const unsigned char* at) {
    return _mm512_load_si512(at);
  }
  TESQUA_KERNEL_TARGET static void Store(unsigned char* at, V v) { _mm512_storeu_si512(at, v); }
  TESQUA_KERNEL_TARGET static V And(V a, V b) { return _mm512_and_si512(a, b); }
  TESQUA_KERNEL_TARGET static V Or(V a, V b) { return _mm512_or_si512(a, b); }
  TESQUA_KERNEL_TARGET static V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
  TESQUA_KERNEL_TARGET static V HighNibbles(V v) {
    return _mm512_and_si512(_mm512_srli_epi16(v, 4), _mm512_set1_epi8(0x0F));
  }
  TESQUA_KERNEL_TARGET static V Shuffle(V table, V index) {
    return _mm512_shuffle_epi8(table, index);
  }
  TESQUA_KERNEL_TARGET static V Broadcast16(const std::uint8_t (&cells)[16]) {
    // The masked form: the plain one leaves a value undefined that the compiler warns of.
    return _mm512_maskz_broadcast_i32x4(0xFFFF,
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)));
  }
  // Each lane's lane before: the last lane of the previous block, then the input's first three.
  template <int n>
  TESQUA_KERNEL_TARGET static V Back(V previous, V input) {
    return _mm512_alignr_epi8(input, _mm512_maskz_alignr_epi64(0xFF, input, previous, 6), 16 - n);
  }
  TESQUA_KERNEL_TARGET static V SubsU8(V a, V b) { return _mm512_subs_epu8(a, b); }
  TESQUA_KERNEL_TARGET static V MaxU8(V a, V b) { return _mm512_max_epu8(a, b); }
  TESQUA_KERNEL_TARGET static std::uint64_t NonZero(V v) { return _mm512_test_epi8_mask(v, v); }
  TESQUA_KERNEL_TARGET static bool AnyAtLeast(V v, unsigned char floor) {
    return _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(char(floor))) != 0;
  }
};

}  // namespace
}  // namespace tesqua::kernels

#include "scan/kernels_generic.h"

namespace tesqua {

// Where AVX-512 would gain little, the AVX2 kernels serve.
VectorKernels Avx512Kernels() {
  VectorKernels kernels = Avx2Kernels();
  kernels.width = VectorWidth::kAvx512;
  kernels.next_nibble_candidates = kernels::NextNibbleCandidates<kernels::Avx512Ops>;
  kernels.check_utf8_blocks = kernels::CheckUtf8Blocks<kernels::Avx512Ops>;
  return kernels;
}

}  // namespace tesqua
