#include "scan/vector_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "scan/text_encoding.h"
#include "tests/scan_model.h"

namespace tesqua {
namespace {

// Every instruction set the processor has, each forced in turn: one process runs them all.
std::vector<const VectorKernels*> EveryKernelSet() {
  std::vector<const VectorKernels*> sets;
  for (const VectorWidth width : {VectorWidth::kNone, VectorWidth::kAvx2, VectorWidth::kAvx512}) {
    if (!ProcessorHas(width)) continue;
    sets.push_back(&KernelsFor(width));
    EXPECT_EQ(sets.back()->width, width);  // never wider than asked for
  }
  return sets;
}

const char* Named(const VectorKernels& kernels) {
  return std::array{"baseline", "AVX2", "AVX-512"}[std::size_t(kernels.width)];
}

// The process runs the widest set the processor has, unless TESQUA_VECTORS holds it narrower
// (so that the test runs held narrower do test the narrower kernels).
TEST(VectorKernelsTest, TheWidestSetThatTheProcessorHasUnlessHeldNarrower) {
  const char* limit = std::getenv("TESQUA_VECTORS");
  const std::string_view held = limit == nullptr ? "" : limit;
  auto want = held == "none"   ? VectorWidth::kNone
              : held == "avx2" ? VectorWidth::kAvx2
                               : VectorWidth::kAvx512;
  while (!ProcessorHas(want)) want = VectorWidth(int(want) - 1);
  EXPECT_EQ(Kernels().width, want) << held;
}

// The nibble filters' plain form: a bucket bit survives the low and the high nibble of each
// place's byte; a unit stands for the byte that packing with unsigned saturation makes of it.
unsigned PlainBuckets(const unsigned char* low, const unsigned char* high, unsigned byte) {
  return low[byte & 0x0F] & high[byte >> 4];
}
unsigned char PackedUnit(char16_t unit) {
  return unit < 0x100 ? static_cast<unsigned char>(unit) : unit < 0x8000 ? 0xFF : 0x00;
}

// Random masks, each row of 16 repeated along the row as the kernels read it; a bit in half the
// cells or, sparse, in a quarter (the filters then pass a few positions of a block, not all).
template <std::size_t kRow>
void RandomRows(std::mt19937& random, unsigned char* rows, std::size_t count, bool sparse) {
  for (std::size_t row = 0; row < count; ++row) {
    for (std::size_t cell = 0; cell < 16; ++cell) {
      const auto bits = static_cast<unsigned char>(sparse ? random() & random() : random());
      for (std::size_t lane = cell; lane < kRow; lane += 16) rows[row * kRow + lane] = bits;
    }
  }
}

TEST(VectorKernelsTest, WidenAsciiFoldsCapitalsOnlyAndStopsAtTheFirstByteAbove127) {
  const std::string piece = "@AZ[`az{ 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ ~\x7F";
  const std::u16string kept = u"@AZ[`az{ 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ ~\x7F";
  const std::u16string folded = u"@az[`az{ 0123456789 abcdefghijklmnopqrstuvwxyz ~\x7F";
  struct Case {
    std::string bytes;
    bool fold;
    std::u16string units;  // what is widened, up to the first byte above 127
  };
  const Case cases[] = {
      {"aZ@\xC3\xA9", true, u"az@"},
      {piece + "\x80", true, folded},
      {piece + "\xFF", false, kept},
      // Long runs go on in wider blocks, which stop at a byte above 127 too.
      {piece + piece + "\xC3\xA9" + piece + piece, true, folded + folded},
      {piece + piece + piece + piece, true, folded + folded + folded + folded},
      {piece + piece + piece + piece, false, kept + kept + kept + kept},
  };
  for (const VectorKernels* kernels : EveryKernelSet()) {
    for (const Case& c : cases) {
      for (std::size_t offset = 0; offset < 64; ++offset) {
        const std::string bytes = std::string(offset, 'x') + c.bytes;
        std::u16string out(bytes.size(), u'?');
        const std::size_t widened =
            kernels->widen_ascii(bytes.data() + offset, c.bytes.size(), out.data(), c.fold);
        ASSERT_EQ(out.substr(0, widened), c.units) << Named(*kernels) << " " << offset;
      }
    }
  }
}

// Every unit of the basic plane, two pairs, and a lone surrogate at the end.
TEST(VectorKernelsTest, TextFoldsAsThePlainScanFoldsIt) {
  std::u16string all;
  for (char32_t unit = 0; unit < 0x10000; ++unit) all.push_back(char16_t(unit));
  all += u"\U00010400\U0001E900\xD800";
  const std::u16string expected = model::Fold(all);
  EXPECT_EQ(FoldCase(all), expected);
  for (const VectorKernels* kernels : EveryKernelSet()) {
    for (std::size_t offset = 0; offset < 32; ++offset) {
      std::u16string folded(all.size() - offset, u'\0');
      kernels->fold_units(all.data() + offset, folded.size(), folded.data());
      ASSERT_EQ(folded, expected.substr(offset)) << Named(*kernels) << " " << offset;
    }
  }
}

TEST(VectorKernelsTest, NibbleFiltersPassWhatThePlainFilterPasses) {
  std::mt19937 random(32);
  const char16_t kUnits[] = {u'a', u'B', u'(', 0xFF, 0x100, 0x7FFF, 0x8000, u'未', 0xDC00, 0};
  for (const VectorKernels* kernels : EveryKernelSet()) {
    if (kernels->unit_nibbles == nullptr) continue;  // both filters need AVX2
    for (int round = 0; round < 100; ++round) {
      alignas(32) unsigned char low[3][32], high[3][32];
      RandomRows<32>(random, &low[0][0], 3, true);
      RandomRows<32>(random, &high[0][0], 3, true);
      std::u16string units(64 + kUnitNibbleReads, u'\0');
      for (char16_t& unit : units) unit = kUnits[random() % std::size(kUnits)];
      const int count = 1 + round % 3;
      for (std::size_t offset = 0; offset < 32; ++offset) {
        std::uint32_t expected = 0;
        for (std::size_t p = 0; p < 32; ++p) {
          unsigned buckets = 0xFF;
          for (std::size_t j = 0; j < std::size_t(count); ++j) {
            buckets &= PlainBuckets(low[j], high[j], PackedUnit(units[offset + p + j]));
          }
          if (buckets != 0) expected |= 1u << p;
        }
        ASSERT_EQ(kernels->unit_nibbles(units.data() + offset, low, high, count), expected)
            << Named(*kernels) << " round " << round << " offset " << offset;
      }
      // Bytes: the first block of 64 from at with a position some bucket passes, and the
      // buckets (0-7, 8-15) of each of its positions.
      alignas(64) ByteKeys::NibbleTable byte_low, byte_high;
      RandomRows<64>(random, &byte_low[0][0][0], 2 * ByteKeys::kNibbleBytes, false);
      RandomRows<64>(random, &byte_high[0][0][0], 2 * ByteKeys::kNibbleBytes, false);
      std::vector<unsigned char> bytes(400 + kByteNibbleReads);
      for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
      for (std::size_t at = 0; at < 64; ++at) {
        std::size_t block = at;
        std::uint64_t expected_found = 0;
        unsigned char expected_bits[128];
        for (; block < 400 && expected_found == 0; block += 64) {
          for (std::size_t i = 0; i < 64; ++i) {
            unsigned buckets[2] = {0xFF, 0xFF};
            for (int half = 0; half < 2; ++half) {
              for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
                buckets[half] &= PlainBuckets(byte_low[half][j], byte_high[half][j],
                                              bytes[block + i + std::size_t(j)]);
              }
              expected_bits[64 * half + i] = static_cast<unsigned char>(buckets[half]);
            }
            if (block + i < 400 && (buckets[0] | buckets[1]) != 0) {
              expected_found |= std::uint64_t{1} << i;
            }
          }
        }
        alignas(64) unsigned char bits[128];
        std::uint64_t found = 0;
        const std::size_t got = kernels->next_nibble_candidates(bytes.data(), at, 400, byte_low,
                                                                byte_high, bits, found);
        ASSERT_EQ(std::tuple(got, found),
                  std::tuple(expected_found == 0 ? 400 : block - 64, expected_found))
            << Named(*kernels) << " round " << round << " from " << at;
        EXPECT_TRUE(found == 0 || std::memcmp(bits, expected_bits, 128) == 0) << Named(*kernels);
      }
    }
  }
}

// The shift-or filter's blocks share their state with the baseline's; the wider hashing
// must give the same candidates block after block.
TEST(VectorKernelsTest, ShiftOrHashingAgreesWithTheBaseline) {
  std::mt19937 random(16);
  std::vector<std::u16string> keys;
  for (int i = 0; i < 120; ++i) {
    std::u16string key;
    for (std::size_t n = 1 + random() % 12; n > 0; --n) key += char16_t('a' + random() % 6);
    keys.push_back(key);
  }
  const ByteKeys byte_keys({keys.begin(), keys.end()}, ByteEncoding::kUtf8);
  ASSERT_FALSE(byte_keys.nibbles);
  std::string text(3000 + kShiftReads, '\0');
  for (std::size_t i = 0; i < 3000; ++i) text[i] = "abcdefABCDEF \n"[random() % 14];
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto run = [&](const VectorKernels& kernels, std::size_t from) {
    std::vector<std::tuple<std::size_t, std::uint64_t, std::uint64_t, unsigned>> blocks;
    ShiftCandidates found;
    for (std::size_t at = from; at < 3000; at += 16) {
      at = kernels.next_shift_candidates(bytes, at, 3000, byte_keys, found);
      blocks.emplace_back(at, found.open[0], found.open[1], found.starts);
    }
    return blocks;
  };
  for (const VectorKernels* kernels : EveryKernelSet()) {
    for (std::size_t from = 0; from < 16; ++from) {
      ASSERT_EQ(run(*kernels, from), run(KernelsFor(VectorWidth::kNone), from))
          << Named(*kernels) << " from " << from;
    }
  }
}

// Every lead byte followed by up to two of kNext (three after a four-byte lead), amid a block,
// at its end and where two runs of blocks meet; the whole check against the plain decoder.
TEST(VectorKernelsTest, CheckingUtf8AgreesWithTheDecoderOnEverySequence) {
  const unsigned char kNext[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                 0xA0, 0xBF, 0xC0, 0xE0, 0xF0, 0xFF};
  std::vector<std::string> sequences;
  for (int lead = 0; lead < 256; ++lead) sequences.emplace_back(1, char(lead));
  for (std::size_t i = 0; i < sequences.size(); ++i) {
    const std::string sequence = sequences[i];
    if (sequence.size() == (std::uint8_t(sequence[0]) < 0xF0 ? 3u : 4u)) continue;
    for (const unsigned char next : kNext) sequences.push_back(sequence + char(next));
  }
  const std::pair<std::size_t, std::size_t> kPlaces[] = {{30, 40}, {61, 40}, {1022, 100}};
  std::string bytes;
  for (const VectorKernels* kernels : EveryKernelSet()) {
    for (const std::string& sequence : sequences) {
      for (const auto& [before, after] : kPlaces) {
        bytes.assign(before, 'a');
        bytes.append(sequence).append(after, 'b');
        std::size_t valid = before;  // ASCII up to the sequence and after it
        bool long_sequence = false;
        while (valid < before + sequence.size()) {
          const std::size_t length = Utf8SequenceLength(bytes, valid);
          if (length == 0) break;
          long_sequence = long_sequence || length >= 3;
          valid += length;
        }
        if (valid >= before + sequence.size()) valid = bytes.size();
        const Utf8Check check = CheckUtf8With(*kernels, bytes, true);
        ASSERT_EQ(std::tuple(check.used, check.ill_formed, check.long_sequence),
                  std::tuple(valid, valid < bytes.size(), long_sequence))
            << Named(*kernels) << " " << testing::PrintToString(sequence) << " after " << before;
      }
    }
  }
}

}  // namespace
}  // namespace tesqua
