#include "scan/byte_keys.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "scan/case_folding.h"
#include "scan/text_encoding.h"
#include "scan/unicode.h"
#include "scan/vector_kernels.h"

namespace tesqua {
namespace {

// The bytes of one character in the encoding; empty when the encoding has none for it.
std::string EncodeCharacter(char32_t code_point, ByteEncoding encoding) {
  char16_t units[2] = {char16_t(code_point), 0};
  if (code_point >= 0x10000) SplitSurrogates(code_point, units);
  const std::u16string_view text(units, code_point < 0x10000 ? 1 : 2);
  if (encoding == ByteEncoding::kUtf8) return EncodeUtf8(text);
  if (code_point >= 0x10000) return {};
  const std::string bytes = EncodeGbk(text);
  return bytes == "?" ? std::string() : bytes;
}

// Appends a folded key's bytes in the encoding to bytes, and to masks 0x20 for each ASCII
// letter; appends nothing unless the key is of kind kBytes.
ByteKeyKind EncodeKey(std::u16string_view key, ByteEncoding encoding, std::string& bytes,
                      std::string& masks) {
  const std::size_t start = bytes.size();
  if (std::all_of(key.begin(), key.end(), [](char16_t unit) { return unit < 0x80; })) {
    // Nearly every key: a byte a unit, written in one go.
    bytes.resize(start + key.size());
    masks.resize(start + key.size());
    char* const out = bytes.data() + start;
    char* const mask = masks.data() + start;
    for (std::size_t i = 0; i < key.size(); ++i) {
      out[i] = char(key[i]);
      mask[i] = key[i] >= 'a' && key[i] <= 'z' ? 0x20 : 0;
    }
    return ByteKeyKind::kBytes;
  }
  ByteKeyKind kind = ByteKeyKind::kBytes;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char32_t code_point = key[i];
    if (code_point < 0x80) {
      bytes.push_back(char(code_point));
      masks.push_back(code_point >= 'a' && code_point <= 'z' ? 0x20 : 0);
      continue;
    }
    if (IsHighSurrogate(key[i]) && i + 1 < key.size() && IsLowSurrogate(key[i + 1])) {
      code_point = JoinSurrogates(key[i], key[i + 1]);
      ++i;
    } else if (IsSurrogate(key[i])) {
      kind = ByteKeyKind::kDecoded;  // half of a pair in the decoded text
      continue;
    }
    // Ill-formed bytes decode to U+FFFD, and a letter with other spellings has bytes for each.
    if (code_point == kReplacementCharacter || HasOtherSpellings(code_point)) {
      kind = ByteKeyKind::kDecoded;
      continue;
    }
    const std::string character = EncodeCharacter(code_point, encoding);
    if (character.empty()) {
      kind = ByteKeyKind::kNever;
      break;
    }
    bytes += character;
    masks.append(character.size(), '\0');
  }
  if (kind != ByteKeyKind::kBytes) {
    bytes.resize(start);
    masks.resize(start);
  }
  return kind;
}

}  // namespace

ByteKeys::ByteKeys(const std::vector<std::u16string_view>& keys, ByteEncoding encoding)
    : encoding(encoding) {
  kinds.assign(keys.size(), ByteKeyKind::kBytes);
  std::size_t units = 0;
  for (const std::u16string_view key : keys) units += key.size();
  bytes.reserve(units + 64);  // a byte a unit for ASCII keys, with room for the padding
  masks.reserve(units + 64);
  patterns.reserve(keys.size());
  std::size_t most_units = 0;
  bool folds_onto = false;  // a key holds a letter that some character outside ASCII folds onto
  bool ascii_target[0x80] = {};
  for (const char32_t source : NonAsciiFoldingOntoAscii()) ascii_target[FoldCase(source)] = true;
  const auto add = [this](std::uint32_t key, std::size_t offset) {
    const auto length = std::uint32_t(bytes.size() - offset);
    patterns.push_back(BytePattern{key, std::uint32_t(offset), length, 0});
    longest = std::max<std::size_t>(longest, length);
  };
  for (std::uint32_t id = 0; id < keys.size(); ++id) {
    const std::size_t offset = bytes.size();
    const ByteKeyKind kind = EncodeKey(keys[id], encoding, bytes, masks);
    kinds[id] = kind;
    if (kind == ByteKeyKind::kDecoded) needs_decoding = true;
    if (kind != ByteKeyKind::kBytes) continue;
    most_units = std::max(most_units, keys[id].size());
    if (!folds_onto) {
      folds_onto = std::any_of(keys[id].begin(), keys[id].end(),
                               [&](char16_t unit) { return unit < 0x80 && ascii_target[unit]; });
    }
    add(id, offset);
  }
  // GBK has none of the characters that fold onto ASCII letters (nor is its table built for
  // nothing when the keys are ASCII).
  if (folds_onto && encoding == ByteEncoding::kUtf8) {
    for (const char32_t source : NonAsciiFoldingOntoAscii()) {
      const std::string character = EncodeCharacter(source, encoding);
      if (character.empty()) continue;
      const std::size_t offset = bytes.size();
      bytes += character;
      masks.append(character.size(), '\0');
      add(kSpecial, offset);
    }
  }
  bytes.append(32, '\0');  // the exact test reads sixteen bytes at a time
  masks.append(32, '\0');
  // Back to where a key that holds a special character may start: four bytes a unit at most.
  history = std::max(longest, 4 * most_units + 8);

  if (patterns.empty()) return;
  if (Kernels().next_nibble_candidates != nullptr && patterns.size() <= 64) {
    BuildNibbles();
    return;
  }

  BuildShiftOr();
}

const ByteKeys::ConfirmSlot* ByteKeys::FindConfirm(std::uint64_t key, unsigned span) const {
  const std::size_t mask = confirm_slots.size() - 1;
  for (std::size_t index = ConfirmIndex(key, span) & mask;; index = (index + 1) & mask) {
    const ConfirmSlot& slot = confirm_slots[index];
    if (slot.span == 0) return nullptr;
    if (slot.key == key && slot.span == span) return &slot;
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
                      shift_table.capacity() * sizeof(std::uint64_t) +
                      confirm_slots.capacity() * sizeof(ConfirmSlot) +
                      confirm_patterns.capacity() * sizeof(std::uint32_t);
  for (const auto& list : bucket_patterns) total += list.capacity() * sizeof(std::uint32_t);
  for (const auto& list : short_patterns) total += list.capacity() * sizeof(std::uint32_t);
  return total;
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
