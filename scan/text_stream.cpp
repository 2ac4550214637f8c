#include "scan/text_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "scan/unicode.h"
#include "scan/vector_kernels.h"

namespace tesqua {
namespace {

unsigned char Byte(std::string_view bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

// Fills buffer from position have as far as the source goes; returns the new size.
std::size_t Fill(ByteSource& source, std::string& buffer, std::size_t have) {
  while (have < buffer.size()) {
    const std::size_t got = source.Read(buffer.data() + have, buffer.size() - have);
    if (got == 0) break;
    have += got;
  }
  return have;
}

class ChunkReader {
 public:
  ChunkReader(ByteSource& source, std::size_t chunk) : source_(&source), buffer_(chunk, '\0') {}
  // Bytes in memory, read where they lie, window after window: nothing is read or copied.
  ChunkReader(std::string_view whole, std::size_t window,
              const std::function<void(const char*)>& passed)
      : whole_(whole), window_(std::max<std::size_t>(window, 4)), passed_(passed) {}

  // Keeps the bytes from kept_from on (never more than a few), appends fresh ones; false
  // when nothing is left.
  bool Next(std::size_t kept_from) {
    if (source_ == nullptr) {
      at_ += std::min(kept_from, size_);
      if (passed_) passed_(whole_.data() + at_);
      size_ = std::min(window_, whole_.size() - at_);
      at_end_ = at_ + size_ == whole_.size();
      return size_ > 0;
    }
    const std::size_t kept = size_ - std::min(kept_from, size_);
    std::copy(buffer_.begin() + std::ptrdiff_t(size_ - kept),
              buffer_.begin() + std::ptrdiff_t(size_), buffer_.begin());
    size_ = Fill(*source_, buffer_, kept);
    at_end_ = size_ < buffer_.size();
    return size_ > 0;
  }
  std::string_view Bytes() const {
    return source_ == nullptr ? whole_.substr(at_, size_)
                              : std::string_view(buffer_).substr(0, size_);
  }
  bool AtEnd() const { return at_end_; }
  // Back to the start, with the first chunk read.
  void Rewind() {
    if (source_ != nullptr) source_->Rewind();
    size_ = 0;
    at_ = 0;
    at_end_ = false;
    Next(0);
  }
  void NoMoreRewinds() {
    if (source_ != nullptr) source_->NoMoreRewinds();
  }

 private:
  ByteSource* source_ = nullptr;
  std::string buffer_;
  std::string_view whole_;
  std::size_t window_ = 0;
  std::function<void(const char*)> passed_;
  std::size_t at_ = 0;  // where the window starts in whole_
  std::size_t size_ = 0;
  bool at_end_ = false;
};

// How many bytes at the start of bytes are ASCII.
std::size_t AsciiPrefix(std::string_view bytes) {
  std::size_t i = 0;
  for (std::uint64_t word; i + 8 <= bytes.size(); i += 8) {
    std::memcpy(&word, bytes.data() + i, 8);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  return i;
}

// Up to the last sequence that the end of bytes cuts off (unless final): a lenient decoder
// starts a character at every byte that is no continuation byte.
std::size_t WholeCharacters(std::string_view bytes, bool final) {
  if (final) return bytes.size();
  std::size_t start = bytes.size();
  while (start > 0 && bytes.size() - start < 4 &&
         IsUtf8Continuation(static_cast<unsigned char>(bytes[start - 1]))) {
    --start;
  }
  if (start == 0) return bytes.size();
  const auto lead = static_cast<unsigned char>(bytes[start - 1]);
  const std::size_t length = lead >= 0xC0 ? Utf8LengthByLead(lead) : 1;
  return start - 1 + length > bytes.size() ? start - 1 : bytes.size();
}

// Where ANSI text may be cut at the latest, given that from is a character boundary. Each
// byte after from is a character of its own, or the first or second byte of a pair begun by
// a lead byte: so the last byte that is no lead byte ends a character, and the lead bytes
// after it pair up.
std::size_t AnsiCut(std::string_view bytes, std::size_t from, LeadBytePredicate is_lead_byte) {
  std::size_t boundary = bytes.size();
  while (boundary > from && is_lead_byte(Byte(bytes, boundary - 1))) --boundary;
  return boundary + ((bytes.size() - boundary) & ~std::size_t{1});
}

class StreamDecoder {
 public:
  StreamDecoder(ChunkReader& reader, const AnsiCodePage& ansi, TextSink& sink,
                std::vector<char16_t>& units)
      : reader_(reader), ansi_(ansi), sink_(sink), units_(units) {}

  TextEncoding Run() {
    reader_.Next(0);
    const std::string_view start = reader_.Bytes();
    if (start.starts_with("\xEF\xBB\xBF")) {
      reader_.NoMoreRewinds();
      MarkedUtf8(3);
      return TextEncoding::kUtf8WithMark;
    }
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
      reader_.NoMoreRewinds();
      const bool big_endian = start[0] == '\xFE';
      Utf16(big_endian, 2);
      return big_endian ? TextEncoding::kUtf16Be : TextEncoding::kUtf16Le;
    }
    Choice choice = AsciiSoFar();
    while (choice == Choice::kRestartAsUtf8 || choice == Choice::kRestartAsAnsi) {
      sink_.Restart();
      wanted_ = true;
      reader_.Rewind();
      if (choice == Choice::kRestartAsAnsi) {
        reader_.NoMoreRewinds();
        Ansi(0);
        return TextEncoding::kAnsi;
      }
      choice = Utf8SoFar(0);
    }
    return choice == Choice::kUtf8 ? TextEncoding::kUtf8 : TextEncoding::kAnsi;
  }

 private:
  enum class Choice { kUtf8, kAnsi, kRestartAsUtf8, kRestartAsAnsi };

  void Feed(std::u16string_view units, bool folded) {
    if (wanted_) wanted_ = sink_.Take(units, folded);
  }
  void FeedBytes(std::string_view bytes, ByteEncoding encoding) {
    if (wanted_ && !bytes.empty()) wanted_ = sink_.TakeBytes(bytes, encoding);
  }
  // ANSI text, as bytes where the sink searches them.
  void FeedAnsi(std::string_view bytes) {
    if (bytes_gbk_) {
      FeedBytes(bytes, ByteEncoding::kGbk);
    } else if (wanted_) {
      Feed(ansi_.decode(bytes), false);
    }
  }
  char16_t* Units(std::size_t count) {
    if (units_.size() < count) units_.resize(count);
    return units_.data();
  }

  // Nothing but ASCII so far, which reads the same in UTF-8 and in any ANSI code page; the
  // first byte that is not ASCII chooses how to go on.
  Choice AsciiSoFar() {
    std::size_t at = 0;
    while (true) {
      const std::string_view bytes = reader_.Bytes();
      const bool last = reader_.AtEnd();
      std::size_t ascii;
      if (bytes_utf8_) {
        ascii = AsciiPrefix(bytes.substr(at));
        FeedBytes(bytes.substr(at, ascii), ByteEncoding::kUtf8);
      } else {
        const bool fold = sink_.TakesFolded();
        char16_t* units = Units(bytes.size());
        ascii = WidenAscii(bytes.data() + at, bytes.size() - at, units, fold);
        Feed(std::u16string_view(units, ascii), fold);
      }
      at += ascii;
      if (at < bytes.size()) {
        const std::size_t length = Utf8LengthByLead(Byte(bytes, at));
        if (last || at + length <= bytes.size()) {
          const Utf8Check first = CheckUtf8(bytes.substr(at, length), true);
          if (first.ill_formed) {
            reader_.NoMoreRewinds();
            Ansi(at);
            return Choice::kAnsi;
          }
          return first.long_sequence ? Utf8SoFar(at) : TwoByteSoFar(at);
        }
      }
      if (last || !reader_.Next(at)) return Choice::kUtf8;
      at = 0;
    }
  }

  // Valid UTF-8 so far, with a sequence of three or four bytes: UTF-8 unless an ill-formed
  // byte comes. Past the sink's need the bytes are only checked.
  Choice Utf8SoFar(std::size_t at) {
    while (true) {
      const std::string_view bytes = reader_.Bytes().substr(at);
      const bool last = reader_.AtEnd();
      std::size_t used;
      if (wanted_ && bytes_utf8_) {
        const Utf8Check check = CheckUtf8(bytes, last);
        if (check.ill_formed) return Choice::kRestartAsAnsi;
        used = check.used;
        FeedBytes(bytes.substr(0, used), ByteEncoding::kUtf8);
      } else if (wanted_) {
        const bool fold = sink_.TakesFolded();
        std::size_t written = 0;
        bool ill_formed = false;
        char16_t* units = Units(bytes.size());
        used = DecodeUtf8Prefix(bytes, last, false, fold, units, written, ill_formed);
        if (ill_formed) return Choice::kRestartAsAnsi;
        Feed(std::u16string_view(units, written), fold);
      } else {
        const Utf8Check check = CheckUtf8(bytes, last);
        if (check.ill_formed) return Choice::kRestartAsAnsi;
        used = check.used;
      }
      if (last || !reader_.Next(at + used)) return Choice::kUtf8;
      at = 0;
    }
  }

  // Valid UTF-8 so far, but in sequences of two bytes only, which GBK text often forms: the
  // ANSI code page, unless a sequence of three or four bytes comes while the bytes stay UTF-8.
  Choice TwoByteSoFar(std::size_t at) {
    std::size_t checked = at;
    bool checking = true;
    while (true) {
      const std::string_view bytes = reader_.Bytes();
      const bool last = reader_.AtEnd();
      if (checking) {
        const Utf8Check check = CheckUtf8(bytes.substr(checked), last, true);
        checked += check.used;
        if (check.long_sequence && !check.ill_formed) return Choice::kRestartAsUtf8;
        if (check.ill_formed) {
          checking = false;
          reader_.NoMoreRewinds();
        }
      }
      if (wanted_) {
        const std::size_t cut = last ? bytes.size() : AnsiCut(bytes, at, ansi_.is_lead_byte);
        if (cut > at) FeedAnsi(bytes.substr(at, cut - at));
        at = cut;
      } else if (!checking) {
        return Choice::kAnsi;
      } else {
        at = checked;
      }
      const std::size_t keep = checking ? std::min(at, checked) : at;
      if (last || !reader_.Next(keep)) return Choice::kAnsi;
      at -= keep;
      checked -= keep;
    }
  }

  void Ansi(std::size_t at) {
    while (wanted_) {
      const std::string_view bytes = reader_.Bytes();
      const bool last = reader_.AtEnd();
      const std::size_t cut = last ? bytes.size() : AnsiCut(bytes, at, ansi_.is_lead_byte);
      if (cut > at) FeedAnsi(bytes.substr(at, cut - at));
      if (last || !reader_.Next(cut)) return;
      at = 0;
    }
  }

  // Behind a UTF-8 mark the text is UTF-8 whatever follows; ill-formed bytes become U+FFFD.
  void MarkedUtf8(std::size_t at) {
    while (true) {
      const std::string_view bytes = reader_.Bytes().substr(at);
      const bool last = reader_.AtEnd();
      std::size_t used;
      if (bytes_utf8_) {
        used = WholeCharacters(bytes, last);
        FeedBytes(bytes.substr(0, used), ByteEncoding::kUtf8);
      } else {
        const bool fold = sink_.TakesFolded();
        std::size_t written = 0;
        bool ill_formed = false;
        char16_t* units = Units(bytes.size());
        used = DecodeUtf8Prefix(bytes, last, true, fold, units, written, ill_formed);
        Feed(std::u16string_view(units, written), fold);
      }
      if (!wanted_ || last || !reader_.Next(at + used)) return;
      at = 0;
    }
  }

  void Utf16(bool big_endian, std::size_t at) {
    while (true) {
      const std::string_view bytes = reader_.Bytes().substr(at);
      const bool last = reader_.AtEnd();
      char16_t* units = Units(bytes.size() / 2 + 1);
      // The units as they lie: a copy, byte pairs swapped for big-endian text.
      std::size_t count = bytes.size() / 2;
      const std::size_t i = count * 2;
      std::memcpy(units, bytes.data(), i);
      if (big_endian) {
        for (std::size_t k = 0; k < count; ++k) {
          units[k] = char16_t((units[k] << 8) | (units[k] >> 8));
        }
      }
      if (last && i < bytes.size()) units[count++] = kReplacementCharacter;  // a dangling byte
      Feed(std::u16string_view(units, count), false);
      if (!wanted_ || last || !reader_.Next(at + i)) return;
      at = 0;
    }
  }

  ChunkReader& reader_;
  const AnsiCodePage& ansi_;
  TextSink& sink_;
  std::vector<char16_t>& units_;
  bool wanted_ = true;  // the sink wants more of the text
  // The sink searches GBK, or UTF-8, as bytes. UTF-8 goes as bytes only where the ANSI code
  // page does too: a text whose ASCII start went as UTF-8 bytes may turn out to be ANSI, and a
  // sink is given one text in bytes or in units, never in both.
  const bool bytes_gbk_ = sink_.TakesBytes(ByteEncoding::kGbk);
  const bool bytes_utf8_ = bytes_gbk_ && sink_.TakesBytes(ByteEncoding::kUtf8);
};

}  // namespace

const AnsiCodePage& GbkCodePage() {
  static const AnsiCodePage code_page{DecodeGbk, IsGbkLeadByte};
  return code_page;
}

TextEncoding DecodeInChunks(ByteSource& source, const AnsiCodePage& ansi, TextSink& sink,
                            std::size_t chunk) {
  ChunkReader reader(source, std::max<std::size_t>(chunk, 4));
  std::vector<char16_t> units;
  return StreamDecoder(reader, ansi, sink, units).Run();
}

TextEncoding DecodeBytes(std::string_view bytes, const AnsiCodePage& ansi, TextSink& sink,
                         std::vector<char16_t>& units, std::size_t chunk,
                         const std::function<void(const char*)>& passed) {
  ChunkReader reader(bytes, chunk == 0 ? bytes.size() : chunk, passed);
  return StreamDecoder(reader, ansi, sink, units).Run();
}

}  // namespace tesqua
