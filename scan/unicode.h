// The few facts of UTF-16 and UTF-8 that the decoders, the folding and the matcher share.
#pragma once

#include <cstddef>

namespace tesqua {

constexpr bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr bool IsSurrogate(char32_t code_point) {
  return code_point >= 0xD800 && code_point <= 0xDFFF;
}

// The code point of a surrogate pair.
constexpr char32_t JoinSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
}
// The pair of a code point past the basic plane, into out[0] and out[1].
constexpr void SplitSurrogates(char32_t code_point, char16_t* out) {
  code_point -= 0x10000;
  out[0] = char16_t(0xD800 + (code_point >> 10));
  out[1] = char16_t(0xDC00 + (code_point & 0x3FF));
}

// A byte that continues a UTF-8 sequence (10xxxxxx).
constexpr bool IsUtf8Continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}
// The length a UTF-8 sequence claims by its first byte (not ASCII): whether it is well-formed
// is for the bytes after it to tell.
constexpr std::size_t Utf8LengthByLead(unsigned char lead) {
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

}  // namespace tesqua
