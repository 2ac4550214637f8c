#include "scan/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "scan/case_folding.h"
#include "scan/unicode.h"
#include "scan/vector_kernels.h"

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

Utf8Check CheckUtf8(std::string_view bytes, bool final, bool stop_at_long) {
  return CheckUtf8With(Kernels(), bytes, final, stop_at_long);
}

Utf8Check CheckUtf8With(const VectorKernels& kernels, std::string_view bytes, bool final,
                        bool stop_at_long) {
  Utf8Check check;
  const std::size_t size = bytes.size();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto check_blocks = kernels.check_utf8_blocks;
  std::size_t i = 0;
  while (i < size) {
    // Whole blocks of well-formed text at vector speed; what they stop at, byte by byte.
    if (!stop_at_long && check_blocks != nullptr && i + 64 <= size) {
      bool long_sequence = false;
      const std::size_t checked = check_blocks(data + i, size - i, long_sequence);
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
