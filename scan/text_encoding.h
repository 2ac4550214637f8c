// Bytes to text and back: the encodings that library files, formula files and the
// clipboard come in.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tesqua {

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

using AnsiDecoder = std::function<std::u16string(std::string_view)>;

// A UTF-8 or UTF-16 (LE or BE) byte-order mark wins and is dropped; else bytes that are valid
// UTF-8 are read as UTF-8; else they are in the ANSI code page, read by decode_ansi.
std::u16string DecodeText(std::string_view bytes, const AnsiDecoder& decode_ansi);

bool IsValidUtf8(std::string_view bytes);
// Ill-formed sequences become U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes);
// Unpaired surrogates become U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// Decodes the UTF-8 at the start of bytes into units (room for bytes.size() units), as far as
// it can tell: unless final, a sequence cut off by the end of bytes is left for the next call.
// Returns the bytes used and sets written. Lenient, ill-formed sequences become U+FFFD as in
// DecodeUtf8; strict, decoding stops before the first of them and ill_formed is set. With
// fold, the units come out case-folded, as FoldCase would make them.
std::size_t DecodeUtf8Prefix(std::string_view bytes, bool final, bool lenient, bool fold,
                             char16_t* units, std::size_t& written, bool& ill_formed);

// Checks the UTF-8 at the start of bytes as DecodeUtf8Prefix decodes it strictly, without
// decoding: returns the bytes of whole, well-formed sequences from the start; stops before
// the first ill-formed one (and sets ill_formed) and, unless final, before a sequence cut off
// by the end of bytes.
std::size_t CheckUtf8Prefix(std::string_view bytes, bool final, bool& ill_formed);

// The length of the well-formed UTF-8 sequence at bytes[i], 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i);
// The bytes that DecodeGbk reads as one character at a lead byte (0x81-0xFE) followed by
// trail: 2, or 1 where the pair is unassigned and trail is an ASCII character of its own.
std::size_t GbkPairLength(unsigned char lead, unsigned char trail);

// Code page 936 (GBK). Unassigned bytes decode to U+FFFD; characters GBK lacks encode to "?".
std::u16string DecodeGbk(std::string_view bytes);
std::string EncodeGbk(std::u16string_view text);

}  // namespace tesqua
