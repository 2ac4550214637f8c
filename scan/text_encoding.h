// Bytes to text and back: the encodings that library files, formula files and the
// clipboard come in.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tesqua {

struct VectorKernels;

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

using AnsiDecoder = std::function<std::u16string(std::string_view)>;

// A UTF-8 or UTF-16 (LE or BE) byte-order mark wins and is dropped; else the bytes are UTF-8
// when they are valid UTF-8 holding at least one sequence of three or four bytes (as Chinese
// in UTF-8 always does); else they are in the ANSI code page, read by decode_ansi. GBK text
// is often valid two-byte UTF-8, so two-byte sequences alone decide nothing. Pure ASCII reads
// the same either way.
std::u16string DecodeText(std::string_view bytes, const AnsiDecoder& decode_ansi);

// How far bytes are UTF-8, for a decision made piece by piece.
struct Utf8Check {
  std::size_t used = 0;        // the bytes checked; a cut-off sequence at the end is left
  bool ill_formed = false;     // the bytes at used are no UTF-8
  bool long_sequence = false;  // a sequence of three or four bytes was among the bytes used
};
// Checks bytes from their start. Unless final, a sequence cut off by the end of bytes is left
// for the next call. With stop_at_long, the check ends right after the first sequence of
// three or four bytes.
Utf8Check CheckUtf8(std::string_view bytes, bool final, bool stop_at_long = false);
// The same with the given kernels, which tests compare in one process.
Utf8Check CheckUtf8With(const VectorKernels& kernels, std::string_view bytes, bool final,
                        bool stop_at_long = false);
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

// The length of the well-formed UTF-8 sequence at bytes[i], 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i);
// The bytes that DecodeGbk reads as one character at a lead byte (0x81-0xFE) followed by
// trail: 2, or 1 where the pair is unassigned and trail is an ASCII character of its own.
std::size_t GbkPairLength(unsigned char lead, unsigned char trail);

// Code page 936 (GBK). Unassigned bytes decode to U+FFFD; characters GBK lacks encode to "?".
std::u16string DecodeGbk(std::string_view bytes);
// Whether a byte begins a two-byte character of GBK.
bool IsGbkLeadByte(unsigned char byte);
std::string EncodeGbk(std::u16string_view text);

}  // namespace tesqua
