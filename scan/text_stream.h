// Texts decoded piece by piece, by the rule of DecodeText, so that a file or a pipe of any
// size is searched without ever being held whole.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/byte_keys.h"
#include "scan/text_encoding.h"

namespace tesqua {

// The bytes of a text from its start; can start over.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes into buffer; 0 at the end. Throws when the bytes cannot be read.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  // Reads from the start again.
  virtual void Rewind() = 0;
  // No rewind will come: a source that keeps its bytes for one may let them go.
  virtual void NoMoreRewinds() {}
};

// Where the decoded text goes, piece after piece.
class TextSink {
 public:
  virtual ~TextSink() = default;
  // The text starts over: the bytes turned out to be in another encoding and are read again.
  virtual void Restart() = 0;
  // Returns false when it needs no more of the text. folded: the decoder folded the units.
  virtual bool Take(std::u16string_view units, bool folded) = 0;
  // Whether the decoder may fold the units on the way (it does so for UTF-8).
  virtual bool TakesFolded() const { return false; }
  // Whether the sink takes a text in this encoding as its bytes, undecoded: TakeBytes then
  // gets them instead of Take getting units. For GBK: whether the ANSI code page is GBK.
  // ASCII that comes before the encoding is known comes as UTF-8. UTF-8 comes as bytes only
  // to a sink that takes GBK as bytes too.
  virtual bool TakesBytes(ByteEncoding) const { return false; }
  // Whole characters of the text, as they stand in the bytes. Returns false when it needs no
  // more of the text.
  virtual bool TakeBytes(std::string_view, ByteEncoding) { return true; }
};

// Which bytes begin a two-byte character of an ANSI code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// An ANSI code page as the stream decoder needs it: the decoder, and its lead bytes, so that
// a long run of two-byte characters is cut between characters.
struct AnsiCodePage {
  AnsiDecoder decode;
  LeadBytePredicate is_lead_byte;
};
const AnsiCodePage& GbkCodePage();

enum class TextEncoding { kUtf8, kUtf8WithMark, kUtf16Le, kUtf16Be, kAnsi };

// Small enough that the bytes, their units and the matcher's piece stay in the second-level
// cache.
inline constexpr std::size_t kDecodeChunk = 64 * 1024;

// Decodes source into sink as DecodeText decodes the whole, holding about one chunk of it at
// a time. A byte-order mark wins. Else ASCII goes to the sink as it comes; from the first
// byte that is not ASCII, the text goes on as UTF-8 if that byte begins a sequence of three
// or four bytes, and in the ANSI code page otherwise. When later bytes overturn the choice
// (an ill-formed byte in UTF-8; a sequence of three or four bytes in text that has been
// valid UTF-8 throughout), the sink restarts and the source is read again from its start.
// Once the choice can no longer change, the source is told so. Returns the encoding used.
TextEncoding DecodeInChunks(ByteSource& source, const AnsiCodePage& ansi, TextSink& sink,
                            std::size_t chunk = kDecodeChunk);

// The same for bytes already in memory, decoded where they lie, in one piece or, given a
// chunk, in pieces of about that size. units: memory for the decoded text, kept from call to
// call by the caller. passed, if given, learns as the decoder moves on: the bytes before the
// address it gets are not read again unless the text starts over.
TextEncoding DecodeBytes(std::string_view bytes, const AnsiCodePage& ansi, TextSink& sink,
                         std::vector<char16_t>& units, std::size_t chunk = 0,
                         const std::function<void(const char*)>& passed = {});

}  // namespace tesqua
