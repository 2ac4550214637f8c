#include "scan/text_encoding.h"

#include <immintrin.h>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "scan/case_folding.h"
#include "scan/unicode.h"
#include "scan/vector_kernels.h"
#include "scan/vector_width.h"

namespace tesqua {
namespace {

constexpr std::uint16_t kGbkPairs[] = {
#include "scan/gbk_table.inc"
};
constexpr unsigned kGbkFirstLead = 0x81;
constexpr unsigned kGbkFirstTrail = 0x40;
constexpr unsigned kGbkTrailCount = 0xFF - kGbkFirstTrail;

unsigned char Byte(std::string_view bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

void AppendCodePoint(std::u16string& text, char32_t code_point) {
  if (code_point < 0x10000) {
    text.push_back(char16_t(code_point));
  } else {
    char16_t pair[2];
    SplitSurrogates(code_point, pair);
    text.append(pair, 2);
  }
}

// The code point of the well-formed UTF-8 sequence at bytes[i], and its length.
std::optional<std::pair<char32_t, std::size_t>> NextUtf8(std::string_view bytes, std::size_t i) {
  const unsigned first = Byte(bytes, i);
  if (first < 0x80) return std::pair{char32_t(first), std::size_t{1}};
  std::size_t length;
  char32_t code_point;
  char32_t lowest;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2, code_point = first & 0x1F, lowest = 0x80;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3, code_point = first & 0x0F, lowest = 0x800;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4, code_point = first & 0x07, lowest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + length > bytes.size()) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned next = Byte(bytes, i + k);
    if (!IsUtf8Continuation(static_cast<unsigned char>(next))) return std::nullopt;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < lowest || code_point > 0x10FFFF) return std::nullopt;
  if (IsSurrogate(code_point)) return std::nullopt;
  return std::pair{code_point, length};
}

std::u16string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const unsigned high = Byte(bytes, big_endian ? i : i + 1);
    const unsigned low = Byte(bytes, big_endian ? i + 1 : i);
    text.push_back(char16_t((high << 8) | low));
  }
  if (i < bytes.size()) text.push_back(kReplacementCharacter);  // a dangling odd byte
  return text;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::u16string DecodeText(std::string_view bytes, const AnsiDecoder& decode_ansi) {
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return DecodeUtf8(bytes.substr(3));
  if (StartsWith(bytes, "\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (StartsWith(bytes, "\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  const Utf8Check check = CheckUtf8(bytes, true);
  if (!check.ill_formed && check.long_sequence) return DecodeUtf8(bytes);
  return decode_ansi(bytes);
}

namespace {

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

struct Utf8Tables256 {
  __m256i first_high, first_low, second_high;
};

__attribute__((target("avx2"))) __m256i Table256(const std::uint8_t (&cells)[16]) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)));
}

// Non-zero where a byte of input breaks a rule of UTF-8, previous being the block before it.
__attribute__((target("avx2"))) inline __m256i Utf8Errors(const Utf8Tables256& tables,
                                                          __m256i previous, __m256i input) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  // The input one, two and three bytes back, across the two lanes and the previous block.
  const __m256i carried = _mm256_permute2x128_si256(previous, input, 0x21);
  const __m256i back1 = _mm256_alignr_epi8(input, carried, 15);
  const __m256i back2 = _mm256_alignr_epi8(input, carried, 14);
  const __m256i back3 = _mm256_alignr_epi8(input, carried, 13);
  const __m256i special = _mm256_and_si256(
      _mm256_and_si256(_mm256_shuffle_epi8(tables.first_high,
                                           _mm256_and_si256(_mm256_srli_epi16(back1, 4), nibble)),
                       _mm256_shuffle_epi8(tables.first_low, _mm256_and_si256(back1, nibble))),
      _mm256_shuffle_epi8(tables.second_high,
                          _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble)));
  // A third byte after a three- or four-byte lead, a fourth after a four-byte lead.
  const __m256i third = _mm256_subs_epu8(back2, _mm256_set1_epi8(char(0xE0 - 0x80)));
  const __m256i fourth = _mm256_subs_epu8(back3, _mm256_set1_epi8(char(0xF0 - 0x80)));
  const __m256i must_continue =
      _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
  return _mm256_xor_si256(must_continue, special);
}

// Whether the last block checked, ending at end, ends inside a sequence.
bool EndsInSequence(const unsigned char* end) {
  return end[-1] >= 0xC0 || end[-2] >= 0xE0 || end[-3] >= 0xF0;
}

// The whole blocks of 32 bytes from the start that are well-formed UTF-8 with no sequence
// cut off at their end: returns how many bytes they hold; long_sequence: whether they hold a
// sequence of three or four bytes.
__attribute__((target("avx2"))) std::size_t CheckUtf8BlocksAvx2(const unsigned char* data,
                                                                std::size_t size,
                                                                bool& long_sequence) {
  const Utf8Tables256 tables{Table256(kFirstHigh), Table256(kFirstLow), Table256(kSecondHigh)};
  const std::size_t blocks_end = size / 32 * 32;
  __m256i previous = _mm256_setzero_si256();  // before the first block: ASCII
  __m256i highest = previous;                 // the highest byte of the blocks passed
  __m256i highest_before = previous;          // the same before the last of them
  std::size_t i = 0;
  while (i < blocks_end) {
    const std::size_t run_end = std::min(blocks_end, i + kRunBlocks * 32);
    const __m256i run_previous = previous;
    const __m256i run_highest = highest;
    const __m256i run_highest_before = highest_before;
    __m256i errors = _mm256_setzero_si256();
    for (std::size_t j = i; j < run_end; j += 32) {
      _mm_prefetch(reinterpret_cast<const char*>(data + j + kPrefetch), _MM_HINT_T0);
      const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + j));
      errors = _mm256_or_si256(errors, Utf8Errors(tables, previous, input));
      previous = input;
      highest_before = highest;
      highest = _mm256_max_epu8(highest, input);
    }
    if (_mm256_testz_si256(errors, errors)) {
      i = run_end;
      continue;
    }
    previous = run_previous;
    highest = run_highest;
    highest_before = run_highest_before;
    for (; i < run_end; i += 32) {
      const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
      const __m256i wrong = Utf8Errors(tables, previous, input);
      if (!_mm256_testz_si256(wrong, wrong)) break;
      previous = input;
      highest_before = highest;
      highest = _mm256_max_epu8(highest, input);
    }
    break;
  }
  if (i > 0 && EndsInSequence(data + i)) {
    i -= 32;
    highest = highest_before;
  }
  // In well-formed blocks, a byte of 0xE0 or more leads a sequence of three or four bytes.
  const __m256i long_leads =
      _mm256_cmpeq_epi8(_mm256_max_epu8(highest, _mm256_set1_epi8(char(0xE0))), highest);
  long_sequence = _mm256_movemask_epi8(long_leads) != 0;
  return i;
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

Utf8Check CheckUtf8(std::string_view bytes, bool final, bool stop_at_long) {
  Utf8Check check;
  const std::size_t size = bytes.size();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const VectorWidth width = UsableVectorWidth();
  std::size_t i = 0;
  while (i < size) {
    // Whole blocks of well-formed text at vector speed; what they stop at, byte by byte.
    if (!stop_at_long && width != VectorWidth::kNone && i + 64 <= size) {
      bool long_sequence = false;
      const std::size_t checked = width == VectorWidth::kAvx512
                                      ? CheckUtf8BlocksAvx512(data + i, size - i, long_sequence)
                                      : CheckUtf8BlocksAvx2(data + i, size - i, long_sequence);
      check.long_sequence = check.long_sequence || long_sequence;
      i += checked;
      // Back to a character's start, then on one character at a time for a while.
      while (checked > 0 && i < size && IsUtf8Continuation(data[i])) --i;
      const std::size_t stop = std::min(size, i + 64);
      while (i < stop) {
        const std::size_t length = data[i] < 0x80 ? 1 : Utf8SequenceLength(bytes, i);
        if (length == 0) break;
        check.long_sequence = check.long_sequence || length >= 3;
        i += length;
      }
      if (i >= stop) continue;
      // Ill-formed, or cut off by the end: decided below.
    }
    // Runs of ASCII, eight bytes at a time.
    while (i + 8 <= size) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      if ((word & 0x8080808080808080u) != 0) break;
      i += 8;
    }
    if (i == size) break;
    const unsigned first = Byte(bytes, i);
    if (first < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = Utf8LengthByLead(static_cast<unsigned char>(first));
    if (!final && i + length > size) break;  // the rest comes with the next call
    const auto next = NextUtf8(bytes, i);
    if (!next) {
      check.ill_formed = true;
      break;
    }
    i += next->second;
    if (next->second >= 3) {
      check.long_sequence = true;
      if (stop_at_long) break;
    }
  }
  check.used = i;
  return check;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    if (const auto next = NextUtf8(bytes, i)) {
      AppendCodePoint(text, next->first);
      i += next->second;
    } else {
      text.push_back(kReplacementCharacter);
      ++i;
    }
  }
  return text;
}

std::size_t DecodeUtf8Prefix(std::string_view bytes, bool final, bool lenient, bool fold,
                             char16_t* units, std::size_t& written, bool& ill_formed) {
  static const char16_t* const identity = [] {
    static std::array<char16_t, 0x10000> table{};
    for (std::size_t unit = 0; unit < table.size(); ++unit) table[unit] = char16_t(unit);
    return table.data();
  }();
  const char16_t* folds = fold ? BasicPlaneFoldTable() : identity;
  ill_formed = false;
  written = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned first = data[i];
    if (first < 0x80) {
      // Runs of ASCII, the bulk of every formula, go at vector speed.
      const std::size_t ascii = WidenAscii(bytes.data() + i, size - i, units + written, fold);
      i += ascii;
      written += ascii;
      continue;
    }
    // The three-byte form of CJK text, checked inline.
    if ((first & 0xF0) == 0xE0 && i + 3 <= size && IsUtf8Continuation(data[i + 1]) &&
        IsUtf8Continuation(data[i + 2])) {
      const unsigned code_point =
          ((first & 0x0F) << 12) | ((data[i + 1] & 0x3Fu) << 6) | (data[i + 2] & 0x3Fu);
      if (code_point >= 0x800 && !IsSurrogate(code_point)) {
        units[written++] = folds[code_point];
        i += 3;
        continue;
      }
    }
    const std::size_t length = Utf8LengthByLead(static_cast<unsigned char>(first));
    if (!final && i + length > size) break;  // the rest comes with the next call
    if (const auto next = NextUtf8(bytes, i)) {
      if (next->first < 0x10000) {
        units[written++] = folds[next->first];
      } else {
        SplitSurrogates(fold ? FoldCase(next->first) : next->first, units + written);
        written += 2;
      }
      i += next->second;
    } else if (lenient) {
      units[written++] = kReplacementCharacter;
      ++i;
    } else {
      ill_formed = true;
      break;
    }
  }
  return i;
}

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i) {
  const auto next = NextUtf8(bytes, i);
  return next ? next->second : 0;
}

std::size_t GbkPairLength(unsigned char lead, unsigned char trail) {
  const bool assigned =
      trail >= kGbkFirstTrail && trail < 0xFF &&
      kGbkPairs[(lead - kGbkFirstLead) * kGbkTrailCount + (trail - kGbkFirstTrail)] != 0;
  return assigned || trail >= 0x80 ? 2 : 1;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code_point = text[i];
    if (IsHighSurrogate(code_point) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      code_point = JoinSurrogates(text[i], text[i + 1]);
      ++i;
    } else if (IsSurrogate(code_point)) {
      code_point = kReplacementCharacter;
    }
    if (code_point < 0x80) {
      bytes.push_back(char(code_point));
    } else if (code_point < 0x800) {
      bytes.push_back(char(0xC0 | (code_point >> 6)));
      bytes.push_back(char(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
      bytes.push_back(char(0xE0 | (code_point >> 12)));
      bytes.push_back(char(0x80 | ((code_point >> 6) & 0x3F)));
      bytes.push_back(char(0x80 | (code_point & 0x3F)));
    } else {
      bytes.push_back(char(0xF0 | (code_point >> 18)));
      bytes.push_back(char(0x80 | ((code_point >> 12) & 0x3F)));
      bytes.push_back(char(0x80 | ((code_point >> 6) & 0x3F)));
      bytes.push_back(char(0x80 | (code_point & 0x3F)));
    }
  }
  return bytes;
}

std::u16string DecodeGbk(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');  // never more units than bytes
  char16_t* units = text.data();
  std::size_t written = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned lead = Byte(bytes, i);
    if (lead < 0x80) {
      const std::size_t ascii =
          WidenAscii(bytes.data() + i, bytes.size() - i, units + written, false);
      written += ascii;
      i += ascii - 1;
    } else if (lead == 0x80) {
      units[written++] = u'\u20AC';  // the euro sign, the one single-byte addition of code page 936
    } else if (lead == 0xFF || i + 1 == bytes.size()) {
      units[written++] = kReplacementCharacter;
    } else {
      const unsigned trail = Byte(bytes, i + 1);
      const std::uint16_t unit =
          trail >= kGbkFirstTrail && trail < 0xFF
              ? kGbkPairs[(lead - kGbkFirstLead) * kGbkTrailCount + (trail - kGbkFirstTrail)]
              : 0;
      if (unit != 0) {
        units[written++] = char16_t(unit);
        ++i;
      } else {
        // An unassigned pair: only the lead byte is lost, so an ASCII trail byte survives.
        units[written++] = kReplacementCharacter;
        if (trail >= 0x80) ++i;
      }
    }
  }
  text.resize(written);
  return text;
}

bool IsGbkLeadByte(unsigned char byte) {
  return byte >= kGbkFirstLead && byte < 0xFF;
}

std::string EncodeGbk(std::u16string_view text) {
  static const auto pairs_by_unit = [] {
    std::unordered_map<char16_t, std::uint16_t> map;
    for (unsigned index = 0; index < std::size(kGbkPairs); ++index) {
      if (kGbkPairs[index] == 0) continue;
      const unsigned lead = kGbkFirstLead + index / kGbkTrailCount;
      const unsigned trail = kGbkFirstTrail + index % kGbkTrailCount;
      map.emplace(char16_t(kGbkPairs[index]), std::uint16_t((lead << 8) | trail));
    }
    return map;
  }();
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    if (unit < 0x80) {
      bytes.push_back(char(unit));
    } else if (unit == u'\u20AC') {
      bytes.push_back('\x80');
    } else if (const auto found = pairs_by_unit.find(unit); found != pairs_by_unit.end()) {
      bytes.push_back(char(found->second >> 8));
      bytes.push_back(char(found->second & 0xFF));
    } else {
      bytes.push_back('?');
    }
  }
  return bytes;
}

}  // namespace tesqua
