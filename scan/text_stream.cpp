#include "scan/text_stream.h"

#include <algorithm>
#include <vector>

#include "scan/matcher.h"

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
  // Bytes in memory, all of them one chunk that is its own end: nothing is read or copied.
  explicit ChunkReader(std::string_view whole) : whole_(whole), at_end_(true) {}

  // Keeps the bytes from kept_from on (never more than a few), appends fresh ones; false
  // when nothing is left.
  bool Next(std::size_t kept_from) {
    if (source_ == nullptr) return false;
    const std::size_t kept = size_ - std::min(kept_from, size_);
    std::copy(buffer_.begin() + std::ptrdiff_t(size_ - kept),
              buffer_.begin() + std::ptrdiff_t(size_), buffer_.begin());
    size_ = Fill(*source_, buffer_, kept);
    at_end_ = size_ < buffer_.size();
    return size_ > 0;
  }
  std::string_view Bytes() const {
    return source_ == nullptr ? whole_ : std::string_view(buffer_).substr(0, size_);
  }
  bool AtEnd() const { return at_end_; }
  // Back to the start, with the first chunk read.
  void Rewind() {
    if (source_ == nullptr) return;
    source_->Rewind();
    size_ = 0;
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
  std::size_t size_ = 0;
  bool at_end_ = false;
};

// Where ANSI text may be cut at the latest, given that from is a character boundary. Each
// byte after from is a character of its own, or the first or second byte of a pair begun by
// a lead byte: so the last byte that is no lead byte ends a character, and the lead bytes
// after it pair up.
std::size_t AnsiCut(std::string_view bytes, std::size_t from, LeadBytePredicate is_lead_byte) {
  std::size_t boundary = bytes.size();
  while (boundary > from && is_lead_byte(Byte(bytes, boundary - 1))) --boundary;
  return boundary + ((bytes.size() - boundary) & ~std::size_t{1});
}

// The length of a UTF-8 sequence by its first byte, if it is one at all.
std::size_t Utf8Length(unsigned char first) {
  return first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
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
      const bool fold = sink_.TakesFolded();
      char16_t* units = Units(bytes.size());
      const std::size_t ascii = WidenAscii(bytes.data() + at, bytes.size() - at, units, fold);
      Feed(std::u16string_view(units, ascii), fold);
      at += ascii;
      if (at < bytes.size()) {
        const std::size_t length = Utf8Length(Byte(bytes, at));
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
      if (wanted_) {
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
        if (cut > at) Feed(ansi_.decode(bytes.substr(at, cut - at)), false);
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
      if (cut > at) Feed(ansi_.decode(bytes.substr(at, cut - at)), false);
      if (last || !reader_.Next(cut)) return;
      at = 0;
    }
  }

  // Behind a UTF-8 mark the text is UTF-8 whatever follows; ill-formed bytes become U+FFFD.
  void MarkedUtf8(std::size_t at) {
    while (true) {
      const std::string_view bytes = reader_.Bytes().substr(at);
      const bool last = reader_.AtEnd();
      const bool fold = sink_.TakesFolded();
      std::size_t written = 0;
      bool ill_formed = false;
      char16_t* units = Units(bytes.size());
      const std::size_t used =
          DecodeUtf8Prefix(bytes, last, true, fold, units, written, ill_formed);
      Feed(std::u16string_view(units, written), fold);
      if (!wanted_ || last || !reader_.Next(at + used)) return;
      at = 0;
    }
  }

  void Utf16(bool big_endian, std::size_t at) {
    while (true) {
      const std::string_view bytes = reader_.Bytes().substr(at);
      const bool last = reader_.AtEnd();
      char16_t* units = Units(bytes.size() / 2 + 1);
      std::size_t count = 0;
      std::size_t i = 0;
      for (; i + 1 < bytes.size(); i += 2) {
        const unsigned first = Byte(bytes, i);
        const unsigned second = Byte(bytes, i + 1);
        units[count++] = char16_t(big_endian ? (first << 8) | second : (second << 8) | first);
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
                         std::vector<char16_t>& units) {
  ChunkReader reader(bytes);
  return StreamDecoder(reader, ansi, sink, units).Run();
}

}  // namespace tesqua
