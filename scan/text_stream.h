// Files decoded piece by piece, by the rule of DecodeText, so that a file of any size is
// searched without ever being held whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "scan/byte_search.h"
#include "scan/text_encoding.h"

namespace tesqua {

// The bytes of a file from its start; can start over.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes into buffer; 0 at the end. Throws when the bytes cannot be read.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual void Rewind() = 0;
};

// Where the decoded text goes, piece after piece.
class TextSink {
 public:
  virtual ~TextSink() = default;
  // The text starts over: the bytes turned out not to be UTF-8 and are read again.
  virtual void Restart() = 0;
  // Returns false when it needs no more of the text. folded: the decoder folded the units.
  virtual bool Take(std::u16string_view units, bool folded) = 0;
  // Whether the decoder may fold the units on the way (it does so for UTF-8).
  virtual bool TakesFolded() const { return false; }
  // Whether the sink takes a text in this encoding as its bytes, undecoded: TakeBytes then
  // gets them instead of Take getting units. For GBK: whether the ANSI code page is GBK.
  virtual bool TakesBytes(ByteEncoding) const { return false; }
  // Whole characters of the text, as they stand in the bytes. Returns false when it needs no
  // more of the text.
  virtual bool TakeBytes(std::string_view, ByteEncoding) { return true; }
};

enum class TextEncoding { kUtf8, kUtf8WithMark, kUtf16Le, kUtf16Be, kAnsi };

// Small enough that the bytes, their units and the matcher's piece stay in the second-level
// cache.
inline constexpr std::size_t kDecodeChunk = 64 * 1024;

// Decodes source into sink as DecodeText decodes the whole: a byte-order mark wins; else UTF-8
// while every byte so far is; at the first that is not, the text starts over in the ANSI code
// page. The ANSI text is cut after bytes below 0x40, which no double-byte code page uses as a
// trail byte. Returns the encoding used.
TextEncoding DecodeInChunks(ByteSource& source, const AnsiDecoder& decode_ansi, TextSink& sink,
                            std::size_t chunk = kDecodeChunk);

// The same for bytes already in memory, decoded where they lie, in one piece or, given a
// chunk, in pieces of about that size. units: memory for the decoded text, kept from call to
// call by the caller.
TextEncoding DecodeBytes(std::string_view bytes, const AnsiDecoder& decode_ansi, TextSink& sink,
                         std::vector<char16_t>& units, std::size_t chunk = 0);

}  // namespace tesqua
