// The kernels that are one algorithm on any vector width, written once over a small ops
// struct (Avx2Ops in scan/kernels_avx2.cpp, Avx512Ops in scan/kernels_avx512.cpp). The file
// that includes this defines TESQUA_KERNEL_TARGET first, the target attribute of its
// instruction set: every function here carries it, so that nothing wider reaches a processor
// without it.
//
// Ops gives: V, kBytes (bytes a vector), Zero, Splat, Load, LoadAligned, Store, And, Or, Xor,
// HighNibbles, Shuffle (a byte per lane of a 16-byte table), Broadcast16 (16 bytes into each
// lane), Back<n> (the input n bytes back, the previous block's last bytes first), SubsU8, MaxU8,
// NonZero (bit i set where byte i is not zero), AnyAtLeast (any byte at least the given one).
#pragma once

#ifndef TESQUA_KERNEL_TARGET
#error "define TESQUA_KERNEL_TARGET before including scan/kernels_generic.h"
#endif

#include <xmmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "scan/kernels_shared.h"

namespace tesqua::kernels {
namespace {

template <typename Ops>
struct Utf8Tables {
  typename Ops::V first_high, first_low, second_high;
};

// Non-zero where a byte of input breaks a rule of UTF-8, previous being the block before it.
template <typename Ops>
TESQUA_KERNEL_TARGET inline typename Ops::V Utf8Errors(const Utf8Tables<Ops>& tables,
                                                       typename Ops::V previous,
                                                       typename Ops::V input) {
  using V = typename Ops::V;
  const V back1 = Ops::template Back<1>(previous, input);
  const V back2 = Ops::template Back<2>(previous, input);
  const V back3 = Ops::template Back<3>(previous, input);
  const V nibble = Ops::Splat(0x0F);
  const V special = Ops::And(Ops::And(Ops::Shuffle(tables.first_high, Ops::HighNibbles(back1)),
                                      Ops::Shuffle(tables.first_low, Ops::And(back1, nibble))),
                             Ops::Shuffle(tables.second_high, Ops::HighNibbles(input)));
  // A third byte after a three- or four-byte lead, a fourth after a four-byte lead.
  const V third = Ops::SubsU8(back2, Ops::Splat(char(0xE0 - 0x80)));
  const V fourth = Ops::SubsU8(back3, Ops::Splat(char(0xF0 - 0x80)));
  const V must_continue = Ops::And(Ops::Or(third, fourth), Ops::Splat(char(0x80)));
  return Ops::Xor(must_continue, special);
}

// The check_utf8_blocks kernel (scan/vector_kernels.h), Ops::kBytes bytes a block.
template <typename Ops>
TESQUA_KERNEL_TARGET std::size_t CheckUtf8Blocks(const unsigned char* data, std::size_t size,
                                                 bool& long_sequence) {
  using V = typename Ops::V;
  constexpr std::size_t kBlock = Ops::kBytes;
  const Utf8Tables<Ops> tables{Ops::Broadcast16(kFirstHigh), Ops::Broadcast16(kFirstLow),
                               Ops::Broadcast16(kSecondHigh)};
  const std::size_t blocks_end = size / kBlock * kBlock;
  V previous = Ops::Zero();     // before the first block: ASCII
  V highest = previous;         // the highest byte of the blocks passed
  V highest_before = previous;  // the same before the last of them
  std::size_t i = 0;
  while (i < blocks_end) {
    const std::size_t run_end = std::min(blocks_end, i + kRunBlocks * kBlock);
    const V run_previous = previous;
    const V run_highest = highest;
    const V run_highest_before = highest_before;
    V errors = Ops::Zero();
    for (std::size_t j = i; j < run_end; j += kBlock) {
      _mm_prefetch(reinterpret_cast<const char*>(data + j + kPrefetch), _MM_HINT_T0);
      const V input = Ops::Load(data + j);
      errors = Ops::Or(errors, Utf8Errors<Ops>(tables, previous, input));
      previous = input;
      highest_before = highest;
      highest = Ops::MaxU8(highest, input);
    }
    if (Ops::NonZero(errors) == 0) {
      i = run_end;
      continue;
    }
    previous = run_previous;
    highest = run_highest;
    highest_before = run_highest_before;
    for (; i < run_end; i += kBlock) {
      const V input = Ops::Load(data + i);
      if (Ops::NonZero(Utf8Errors<Ops>(tables, previous, input)) != 0) break;
      previous = input;
      highest_before = highest;
      highest = Ops::MaxU8(highest, input);
    }
    break;
  }
  if (i > 0 && EndsInSequence(data + i)) {
    i -= kBlock;
    highest = highest_before;
  }
  // In well-formed blocks, a byte of 0xE0 or more leads a sequence of three or four bytes.
  long_sequence = Ops::AnyAtLeast(highest, 0xE0);
  return i;
}

// The next_nibble_candidates kernel (scan/vector_kernels.h): a block of 64 positions is
// 64 / Ops::kBytes vectors.
template <typename Ops>
TESQUA_KERNEL_TARGET std::size_t NextNibbleCandidates(
    const unsigned char* bytes, std::size_t at, std::size_t end, const ByteKeys::NibbleTable& low,
    const ByteKeys::NibbleTable& high, unsigned char* bucket_bits, std::uint64_t& candidates) {
  using V = typename Ops::V;
  constexpr int kParts = int(64 / Ops::kBytes);
  constexpr int kPlaces = ByteKeys::kNibbleBytes;
  V tables[4 * kPlaces];
  for (int j = 0; j < kPlaces; ++j) {
    tables[4 * j] = Ops::LoadAligned(low[0][j]);
    tables[4 * j + 1] = Ops::LoadAligned(high[0][j]);
    tables[4 * j + 2] = Ops::LoadAligned(low[1][j]);
    tables[4 * j + 3] = Ops::LoadAligned(high[1][j]);
  }
  const V nibble = Ops::Splat(0x0F);
  for (; at < end; at += 64) {
    V first[kParts];   // buckets 0-7 of each position
    V second[kParts];  // buckets 8-15
    std::uint64_t found = 0;
    for (int part = 0; part < kParts; ++part) {
      first[part] = second[part] = Ops::Splat(char(-1));
      for (int j = 0; j < kPlaces; ++j) {
        const V data = Ops::Load(bytes + at + std::size_t(part) * Ops::kBytes + std::size_t(j));
        const V lows = Ops::And(data, nibble);
        const V highs = Ops::HighNibbles(data);
        const V* table = tables + 4 * j;
        first[part] = Ops::And(
            first[part], Ops::And(Ops::Shuffle(table[0], lows), Ops::Shuffle(table[1], highs)));
        second[part] = Ops::And(
            second[part], Ops::And(Ops::Shuffle(table[2], lows), Ops::Shuffle(table[3], highs)));
      }
      found |= std::uint64_t{Ops::NonZero(Ops::Or(first[part], second[part]))}
               << (std::size_t(part) * Ops::kBytes);
    }
    if (end - at < 64) found &= (std::uint64_t{1} << (end - at)) - 1;
    if (found != 0) {
      for (int part = 0; part < kParts; ++part) {
        Ops::Store(bucket_bits + std::size_t(part) * Ops::kBytes, first[part]);
        Ops::Store(bucket_bits + 64 + std::size_t(part) * Ops::kBytes, second[part]);
      }
      candidates = found;
      return at;
    }
  }
  candidates = 0;
  return end;
}

}  // namespace
}  // namespace tesqua::kernels
