#include "scan/byte_search.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "scan/case_folding.h"
#include "scan/text_encoding.h"
#include "scan/vector_width.h"

namespace tesqua {
namespace {

struct Encoded {
  ByteKeyKind kind = ByteKeyKind::kBytes;
  std::string bytes;
  std::string masks;
};

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The bytes of one character in the encoding; empty when the encoding has none for it.
std::string EncodeCharacter(char32_t code_point, ByteEncoding encoding) {
  std::u16string units;
  if (code_point < 0x10000) {
    units.push_back(char16_t(code_point));
  } else {
    units.push_back(char16_t(0xD800 + ((code_point - 0x10000) >> 10)));
    units.push_back(char16_t(0xDC00 + ((code_point - 0x10000) & 0x3FF)));
  }
  if (encoding == ByteEncoding::kUtf8) return EncodeUtf8(units);
  if (code_point >= 0x10000) return {};
  const std::string bytes = EncodeGbk(units);
  return bytes == "?" ? std::string() : bytes;
}

// A folded key as bytes of the encoding.
Encoded EncodeKey(std::u16string_view key, ByteEncoding encoding) {
  Encoded encoded;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char32_t code_point = key[i];
    if (IsHighSurrogate(key[i]) && i + 1 < key.size() && IsLowSurrogate(key[i + 1])) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (key[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(key[i]) || IsLowSurrogate(key[i])) {
      encoded.kind = ByteKeyKind::kDecoded;  // half of a pair in the decoded text
      continue;
    }
    if (code_point < 0x80) {
      encoded.bytes.push_back(char(code_point));
      encoded.masks.push_back(code_point >= 'a' && code_point <= 'z' ? 0x20 : 0);
      continue;
    }
    // Ill-formed bytes decode to U+FFFD, and a letter with other spellings has bytes for each.
    if (code_point == kReplacementCharacter || HasOtherSpellings(code_point)) {
      encoded.kind = ByteKeyKind::kDecoded;
      continue;
    }
    const std::string bytes = EncodeCharacter(code_point, encoding);
    if (bytes.empty()) return {ByteKeyKind::kNever, {}, {}};
    encoded.bytes += bytes;
    encoded.masks.append(bytes.size(), '\0');
  }
  if (encoded.kind != ByteKeyKind::kBytes) return {encoded.kind, {}, {}};
  return encoded;
}

// Words of formulas, in lower case: windows inside them are found in nearly every formula.
constexpr std::string_view kFormulaWords[] = {
    "close",    "high",     "open",      "amount",   "volume",     "cross",
    "drawtext", "drawline", "stickline", "colorred", "colorgreen", "count",
    "barslast", "filter",   "every",     "exist",    "between"};

bool HasAvx2() {
  return UsableVectorWidth() != VectorWidth::kNone;
}

}  // namespace

ByteKeys::ByteKeys(const std::vector<std::u16string_view>& keys, ByteEncoding encoding)
    : encoding(encoding) {
  kinds.assign(keys.size(), ByteKeyKind::kBytes);
  std::vector<Encoded> encoded;
  std::size_t most_units = 0;
  bool folds_onto = false;  // a key holds a letter that some character outside ASCII folds onto
  std::vector<char32_t> ascii_targets;
  for (const char32_t source : NonAsciiFoldingOntoAscii()) {
    ascii_targets.push_back(FoldCase(source));
  }
  for (std::uint32_t id = 0; id < keys.size(); ++id) {
    Encoded key = EncodeKey(keys[id], encoding);
    kinds[id] = key.kind;
    if (key.kind == ByteKeyKind::kDecoded) needs_decoding = true;
    if (key.kind != ByteKeyKind::kBytes) continue;
    most_units = std::max(most_units, keys[id].size());
    for (const char32_t target : ascii_targets) {
      if (keys[id].find(char16_t(target)) != std::u16string_view::npos) folds_onto = true;
    }
    patterns.push_back(BytePattern{id, 0, std::uint32_t(key.bytes.size()), 0});
    encoded.push_back(std::move(key));
  }
  // GBK has none of the characters that fold onto ASCII letters (nor is its table built for
  // nothing when the keys are ASCII).
  if (folds_onto && encoding == ByteEncoding::kUtf8) {
    for (const char32_t source : NonAsciiFoldingOntoAscii()) {
      std::string bytes = EncodeCharacter(source, encoding);
      if (bytes.empty()) continue;
      patterns.push_back(BytePattern{kSpecial, 0, std::uint32_t(bytes.size()), 0});
      encoded.push_back(Encoded{ByteKeyKind::kBytes, bytes, std::string(bytes.size(), '\0')});
    }
  }
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    patterns[i].offset = std::uint32_t(bytes.size());
    bytes += encoded[i].bytes;
    masks += encoded[i].masks;
    longest = std::max<std::size_t>(longest, patterns[i].length);
  }
  bytes.append(32, '\0');  // the exact test reads sixteen bytes at a time
  masks.append(32, '\0');
  // Back to where a key that holds a special character may start: four bytes a unit at most.
  history = std::max(longest, 4 * most_units + 8);

  if (patterns.empty()) return;
  if (HasAvx2() && patterns.size() <= 64) {
    BuildNibbles();
    return;
  }

  // Each pattern of a window's length or more is filed under one of its windows: the one
  // fewest patterns have so far, so that keys with a common beginning (CLOSE1, CLOSE2) are
  // told apart by a window further on.
  std::unordered_map<std::uint32_t, std::uint32_t> load;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> by_window;  // window, pattern
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    BytePattern& pattern = patterns[i];
    const auto* start = reinterpret_cast<const unsigned char*>(bytes.data() + pattern.offset);
    if (pattern.length < kWindow) {
      // Under its first byte, in either case for a letter.
      for (const unsigned first : {unsigned(start[0]), unsigned(start[0] ^ 0x20)}) {
        if (first != start[0] && !(start[0] >= 'a' && start[0] <= 'z')) continue;
        short_starts[first >> 6] |= std::uint64_t{1} << (first & 63);
        short_patterns[first].push_back(i);
        if (std::find(short_firsts.begin(), short_firsts.end(), first) == short_firsts.end()) {
          short_firsts.push_back(static_cast<unsigned char>(first));
        }
      }
      continue;
    }
    // On a tie, the window nearest the middle: in a name made of words (CLOSEHIGH) it spans
    // two of them, which a formula seldom writes together.
    std::uint32_t best = 0;
    std::uint64_t best_cost = ~std::uint64_t{0};
    for (std::uint32_t at = 0; at + kWindow <= pattern.length; ++at) {
      const auto found = load.find(FoldedWindow(start + at));
      const std::uint64_t count = found == load.end() ? 0 : found->second;
      const auto off_middle =
          std::uint64_t(std::abs(2 * std::int64_t(at) - std::int64_t(pattern.length - kWindow)));
      // A window with a digit or a parenthesis in it is rarer in formulas than one of letters.
      bool letters_only = true;
      for (std::size_t j = 0; j < kWindow; ++j) {
        const unsigned char byte = start[at + j] | 0x20;
        letters_only = letters_only && byte >= 'a' && byte <= 'z';
      }
      // And one inside a word that every formula is full of is the worst of all.
      const std::string_view window(reinterpret_cast<const char*>(start + at), kWindow);
      bool common = false;
      for (const std::string_view word : kFormulaWords) {
        for (std::size_t j = 0; j + kWindow <= word.size(); ++j) {
          bool same = true;
          for (std::size_t k = 0; k < kWindow; ++k)
            same = same && (window[k] | 0x20) == word[j + k];
          common = common || same;
        }
      }
      const std::uint64_t cost = std::uint64_t(common) << 62 | count << 32 |
                                 std::uint64_t(letters_only) << 31 | off_middle;
      if (cost < best_cost) {
        best = at;
        best_cost = cost;
      }
    }
    pattern.window = best;
    const std::uint32_t window = FoldedWindow(start + best);
    ++load[window];
    by_window.emplace_back(window, i);
  }
  std::size_t bits = std::size_t{1} << 15;
  while (bits < by_window.size() * 256 && bits < (std::size_t{1} << 23)) bits *= 2;
  window_shift = unsigned(32 - std::countr_zero(bits));
  window_bits.assign(bits / 64, 0);
  std::sort(by_window.begin(), by_window.end());
  std::size_t slots = 16;
  while (slots < load.size() * 2) slots *= 2;
  window_slots.assign(slots, WindowSlot{});
  window_patterns.reserve(by_window.size());
  for (std::size_t i = 0; i < by_window.size(); ++i) {
    const std::uint32_t window = by_window[i].first;
    window_patterns.push_back(by_window[i].second);
    if (i > 0 && by_window[i - 1].first == window) continue;
    const std::uint32_t hash = WindowHash(window);
    window_bits[hash >> 6] |= std::uint64_t{1} << (hash & 63);
    std::size_t index = (window * 0x85EBCA6Bu >> 7) & (slots - 1);
    while (window_slots[index].count != 0) index = (index + 1) & (slots - 1);
    window_slots[index] = WindowSlot{window, std::uint32_t(i), 0};
    for (std::size_t j = i; j < by_window.size() && by_window[j].first == window; ++j) {
      ++window_slots[index].count;
    }
  }
}

namespace {

// The nibbles a pattern may have at place j, as bits: low nibbles, then high ones; 0 where the
// pattern is shorter (any byte may follow it).
std::uint32_t PlaceNibbles(std::string_view pattern, std::size_t j) {
  if (j >= pattern.size()) return 0;
  const auto byte = static_cast<unsigned char>(pattern[j]);
  std::uint32_t bits = (1u << (byte & 0x0F)) | (1u << (16 + (byte >> 4)));
  if (byte >= 'a' && byte <= 'z') bits |= 1u << (16 + ((byte - 0x20) >> 4));  // upper case
  return bits;
}

// How many byte sequences a bucket lets through: per place, its low nibbles times its high
// ones, or every byte where a pattern is shorter.
double Spread(const std::uint32_t (&places)[ByteKeys::kNibbleBytes],
              const bool (&any)[ByteKeys::kNibbleBytes]) {
  double spread = 1;
  for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
    spread *=
        any[j] ? 256.0
               : double(std::popcount(places[j] & 0xFFFF)) * double(std::popcount(places[j] >> 16));
  }
  return spread;
}

}  // namespace

void ByteKeys::BuildNibbles() {
  nibbles = true;
  // Every pattern its own group at first; then the two groups whose union lets the fewest
  // more byte sequences through are joined, until there are as many groups as buckets.
  struct Group {
    std::uint32_t places[kNibbleBytes] = {};
    bool any[kNibbleBytes] = {};
    std::vector<std::uint32_t> patterns;
  };
  std::vector<Group> groups;
  for (std::uint32_t i = 0; i < patterns.size(); ++i) {
    const std::string_view pattern =
        std::string_view(bytes).substr(patterns[i].offset, patterns[i].length);
    Group group;
    for (int j = 0; j < kNibbleBytes; ++j) {
      group.places[j] = PlaceNibbles(pattern, std::size_t(j));
      group.any[j] = std::size_t(j) >= pattern.size();
    }
    group.patterns.push_back(i);
    groups.push_back(std::move(group));
  }
  const auto joined = [](const Group& a, const Group& b) {
    Group both;
    for (int j = 0; j < kNibbleBytes; ++j) {
      both.places[j] = a.places[j] | b.places[j];
      both.any[j] = a.any[j] || b.any[j];
    }
    return both;
  };
  while (groups.size() > std::size_t(kBuckets)) {
    std::size_t best_a = 0, best_b = 1;
    double best_cost = 0;
    for (std::size_t x = 0; x < groups.size(); ++x) {
      for (std::size_t y = x + 1; y < groups.size(); ++y) {
        Group both = joined(groups[x], groups[y]);
        const double cost = Spread(both.places, both.any) -
                            Spread(groups[x].places, groups[x].any) -
                            Spread(groups[y].places, groups[y].any);
        if ((x == 0 && y == 1) || cost < best_cost) {
          best_a = x;
          best_b = y;
          best_cost = cost;
        }
      }
    }
    Group both = joined(groups[best_a], groups[best_b]);
    both.patterns = groups[best_a].patterns;
    both.patterns.insert(both.patterns.end(), groups[best_b].patterns.begin(),
                         groups[best_b].patterns.end());
    groups[best_a] = std::move(both);
    groups.erase(groups.begin() + std::ptrdiff_t(best_b));
  }
  std::uint32_t places[kBuckets][kNibbleBytes] = {};
  bool any[kBuckets][kNibbleBytes] = {};
  for (std::size_t bucket = 0; bucket < groups.size(); ++bucket) {
    bucket_patterns[bucket] = groups[bucket].patterns;
    for (int j = 0; j < kNibbleBytes; ++j) {
      places[bucket][j] = groups[bucket].places[j];
      any[bucket][j] = groups[bucket].any[j];
    }
  }
  for (int bucket = 0; bucket < kBuckets; ++bucket) {
    const auto bit = static_cast<unsigned char>(1u << (bucket % 8));
    for (int j = 0; j < kNibbleBytes; ++j) {
      for (int nibble = 0; nibble < 16; ++nibble) {
        if (bucket_patterns[bucket].empty()) continue;
        const bool low_set = any[bucket][j] || ((places[bucket][j] >> nibble) & 1);
        const bool high_set = any[bucket][j] || ((places[bucket][j] >> (16 + nibble)) & 1);
        for (int lane = 0; lane < 64; lane += 16) {
          if (low_set) low[bucket / 8][j][lane + nibble] |= bit;
          if (high_set) high[bucket / 8][j][lane + nibble] |= bit;
        }
      }
    }
  }
}

const ByteKeys::WindowSlot* ByteKeys::FindWindow(std::uint32_t window) const {
  const std::size_t mask = window_slots.size() - 1;
  for (std::size_t index = (window * 0x85EBCA6Bu >> 7) & mask;; index = (index + 1) & mask) {
    const WindowSlot& slot = window_slots[index];
    if (slot.count == 0) return nullptr;
    if (slot.window == window) return &slot;
  }
}

bool ByteKeys::Matches(const BytePattern& pattern, const unsigned char* text) const {
  const char* key = bytes.data() + pattern.offset;
  const char* mask = masks.data() + pattern.offset;
  for (std::uint32_t at = 0; at < pattern.length; at += 16) {
    const __m128i got = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + at)));
    const __m128i want = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + at));
    const unsigned equal = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(got, want)));
    const std::uint32_t left = pattern.length - at;
    const unsigned needed = left >= 16 ? 0xFFFFu : (1u << left) - 1;
    if ((equal & needed) != needed) return false;
  }
  return true;
}

std::size_t ByteKeys::MemoryBytes() const {
  std::size_t total = kinds.capacity() + patterns.capacity() * sizeof(BytePattern) +
                      bytes.capacity() + masks.capacity() +
                      window_bits.capacity() * sizeof(std::uint64_t) +
                      window_slots.capacity() * sizeof(WindowSlot) +
                      window_patterns.capacity() * sizeof(std::uint32_t);
  for (const auto& list : bucket_patterns) total += list.capacity() * sizeof(std::uint32_t);
  for (const auto& list : short_patterns) total += list.capacity() * sizeof(std::uint32_t);
  return total;
}

namespace {

struct NibbleBlock {
  __m256i first;   // buckets 0-7 of each position
  __m256i second;  // buckets 8-15
};

__attribute__((target("avx2"))) inline NibbleBlock NibbleBuckets(const unsigned char* bytes,
                                                                 const __m256i* tables) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  NibbleBlock block{_mm256_set1_epi8(-1), _mm256_set1_epi8(-1)};
  for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
    const __m256i data = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + j));
    const __m256i lows = _mm256_and_si256(data, nibble);
    const __m256i highs = _mm256_and_si256(_mm256_srli_epi16(data, 4), nibble);
    const __m256i* table = tables + 4 * j;
    block.first =
        _mm256_and_si256(block.first, _mm256_and_si256(_mm256_shuffle_epi8(table[0], lows),
                                                       _mm256_shuffle_epi8(table[1], highs)));
    block.second =
        _mm256_and_si256(block.second, _mm256_and_si256(_mm256_shuffle_epi8(table[2], lows),
                                                        _mm256_shuffle_epi8(table[3], highs)));
  }
  return block;
}

__attribute__((target("avx2"))) std::size_t NextNibbleCandidatesAvx2(
    const unsigned char* bytes, std::size_t at, std::size_t end, const ByteKeys::NibbleTable& low,
    const ByteKeys::NibbleTable& high, unsigned char* bucket_bits, std::uint64_t& candidates) {
  __m256i tables[4 * ByteKeys::kNibbleBytes];
  for (int j = 0; j < ByteKeys::kNibbleBytes; ++j) {
    tables[4 * j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(low[0][j]));
    tables[4 * j + 1] = _mm256_load_si256(reinterpret_cast<const __m256i*>(high[0][j]));
    tables[4 * j + 2] = _mm256_load_si256(reinterpret_cast<const __m256i*>(low[1][j]));
    tables[4 * j + 3] = _mm256_load_si256(reinterpret_cast<const __m256i*>(high[1][j]));
  }
  const __m256i zero = _mm256_setzero_si256();
  for (; at < end; at += 64) {
    const NibbleBlock a = NibbleBuckets(bytes + at, tables);
    const NibbleBlock b = NibbleBuckets(bytes + at + 32, tables);
    const auto none_a = std::uint32_t(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(a.first, a.second), zero)));
    const auto none_b = std::uint32_t(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(b.first, b.second), zero)));
    std::uint64_t found = ~(std::uint64_t{none_b} << 32 | none_a);
    if (end - at < 64) found &= (std::uint64_t{1} << (end - at)) - 1;
    if (found != 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(bucket_bits), a.first);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(bucket_bits + 32), b.first);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(bucket_bits + 64), a.second);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(bucket_bits + 96), b.second);
      candidates = found;
      return at;
    }
  }
  candidates = 0;
  return end;
}

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

__attribute__((target("avx2"))) std::size_t NextWindowCandidatesAvx2(const unsigned char* bytes,
                                                                     std::size_t at,
                                                                     std::size_t end,
                                                                     const ByteKeys& keys,
                                                                     std::uint32_t& candidates) {
  // The four-byte windows of eight positions from sixteen bytes, in both lanes.
  const __m256i windows_of = _mm256_setr_epi8(0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5, 3, 4, 5, 6,  //
                                              4, 5, 6, 7, 5, 6, 7, 8, 6, 7, 8, 9, 7, 8, 9, 10);
  const __m256i fold = _mm256_set1_epi32(0x20202020);
  const __m256i multiplier = _mm256_set1_epi32(int(0x9E3779B1u));
  const __m128i shift = _mm_cvtsi32_si128(int(keys.window_shift));
  const auto* bits = reinterpret_cast<const int*>(keys.window_bits.data());
  const std::size_t firsts = keys.short_firsts.size();
  __m128i first[4];
  for (std::size_t k = 0; k < 4; ++k) {
    first[k] = _mm_set1_epi8(char(k < firsts                  ? keys.short_firsts[k]
                                  : keys.short_firsts.empty() ? 0
                                                              : keys.short_firsts[0]));
  }
  for (; at < end; at += 8) {
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    const __m256i windows =
        _mm256_or_si256(_mm256_shuffle_epi8(_mm256_broadcastsi128_si256(raw), windows_of), fold);
    const __m256i hash = _mm256_srl_epi32(_mm256_mullo_epi32(windows, multiplier), shift);
    // Eight loads, not a gather: gathers are slow on many processors (and slower still with
    // the microcode that guards them).
    alignas(32) std::uint32_t hashes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(hashes), hash);
    std::uint32_t found = 0;
    for (int k = 0; k < 8; ++k) {
      found |= ((std::uint32_t(bits[hashes[k] >> 5]) >> (hashes[k] & 31)) & 1u) << k;
    }
    if (firsts > 0) {
      __m128i starts = _mm_setzero_si128();
      for (std::size_t k = 0; k < 4; ++k)
        starts = _mm_or_si128(starts, _mm_cmpeq_epi8(raw, first[k]));
      found |= std::uint32_t(_mm_movemask_epi8(starts)) & 0xFF;
      if (firsts > 4) found = 0xFF;  // too many to compare: each position looked at
    }
    if (end - at < 8) found &= (1u << (end - at)) - 1;
    if (found != 0) {
      candidates = found;
      return at;
    }
  }
  candidates = 0;
  return end;
}

bool HasAvx512() {
  return UsableVectorWidth() == VectorWidth::kAvx512;
}

}  // namespace

std::size_t NextNibbleCandidates(const unsigned char* bytes, std::size_t at, std::size_t end,
                                 const ByteKeys::NibbleTable& low,
                                 const ByteKeys::NibbleTable& high, unsigned char* bucket_bits,
                                 std::uint64_t& candidates) {
  if (HasAvx512()) {
    return NextNibbleCandidatesAvx512(bytes, at, end, low, high, bucket_bits, candidates);
  }
  return NextNibbleCandidatesAvx2(bytes, at, end, low, high, bucket_bits, candidates);
}

std::size_t NextWindowCandidates(const unsigned char* bytes, std::size_t at, std::size_t end,
                                 const ByteKeys& keys, std::uint32_t& candidates) {
  if (HasAvx2()) return NextWindowCandidatesAvx2(bytes, at, end, keys, candidates);
  candidates = at < end ? (end - at >= 8 ? 0xFFu : (1u << (end - at)) - 1) : 0;
  return at;
}

std::size_t CharacterLength(ByteEncoding encoding, const unsigned char* bytes,
                            std::size_t available) {
  const unsigned first = bytes[0];
  if (first < 0x80) return 1;
  if (encoding == ByteEncoding::kUtf8) {
    const std::size_t length = Utf8SequenceLength(
        std::string_view(reinterpret_cast<const char*>(bytes), std::min<std::size_t>(available, 4)),
        0);
    return length == 0 ? 1 : length;
  }
  if (first == 0x80 || first == 0xFF || available < 2) return 1;
  return GbkPairLength(static_cast<unsigned char>(first), bytes[1]);
}

}  // namespace tesqua
