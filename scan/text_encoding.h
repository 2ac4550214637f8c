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

// Code page 936 (GBK). Unassigned bytes decode to U+FFFD; characters GBK lacks encode to "?".
std::u16string DecodeGbk(std::string_view bytes);
std::string EncodeGbk(std::u16string_view text);

}  // namespace tesqua
