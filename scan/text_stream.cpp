#include "scan/text_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tesqua {
namespace {

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
  // Bytes in memory, read where they lie, window after window: nothing is copied.
  ChunkReader(std::string_view whole, std::size_t window)
      : whole_(whole), window_(std::max<std::size_t>(window, 4)) {}

  // Keeps the bytes from kept_from on, appends fresh ones; false when nothing is left.
  bool Next(std::size_t kept_from) {
    if (source_ == nullptr) {
      const std::size_t kept = size_ - std::min(kept_from, size_);
      at_ += size_ - kept;
      if (kept == window_) window_ *= 2;  // one endless ANSI line
      size_ = std::min(window_, whole_.size() - at_);
      at_end_ = at_ + size_ == whole_.size();
      return size_ > 0;
    }
    const std::size_t kept = size_ - std::min(kept_from, size_);
    std::copy(buffer_.begin() + std::ptrdiff_t(size_ - kept),
              buffer_.begin() + std::ptrdiff_t(size_), buffer_.begin());
    if (kept == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // one endless ANSI line
    size_ = Fill(*source_, buffer_, kept);
    at_end_ = size_ < buffer_.size();
    return size_ > 0;
  }
  std::string_view Bytes() const {
    return source_ == nullptr ? whole_.substr(at_, size_)
                              : std::string_view(buffer_).substr(0, size_);
  }
  bool AtEnd() const { return at_end_; }
  void Rewind() {
    size_ = 0;
    at_ = 0;
    at_end_ = false;
    if (source_ != nullptr) source_->Rewind();
  }

 private:
  ByteSource* source_ = nullptr;
  std::string buffer_;
  std::string_view whole_;
  std::size_t window_ = 0;
  std::size_t at_ = 0;  // where the window starts in whole_
  std::size_t size_ = 0;
  bool at_end_ = false;
};

void DecodeUtf16(ChunkReader& reader, TextSink& sink, bool big_endian, std::size_t skip) {
  std::u16string units;
  std::size_t used = skip;
  while (true) {
    const std::string_view bytes = reader.Bytes().substr(used);
    // The units as they lie: a copy, byte pairs swapped for big-endian text.
    units.resize(bytes.size() / 2);
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
    if (big_endian) {
      for (char16_t& unit : units) unit = char16_t((unit << 8) | (unit >> 8));
    }
    const std::size_t i = units.size() * 2;
    const bool last = reader.AtEnd();
    if (last && i < bytes.size()) units.push_back(kReplacementCharacter);  // a dangling odd byte
    if (!sink.Take(units, false) || last) return;
    if (!reader.Next(used + i)) return;
    used = 0;
  }
}

void DecodeAnsi(ChunkReader& reader, const AnsiDecoder& decode_ansi, TextSink& sink) {
  while (true) {
    const std::string_view bytes = reader.Bytes();
    std::size_t cut = bytes.size();
    if (!reader.AtEnd()) {
      while (cut > 0 && static_cast<unsigned char>(bytes[cut - 1]) >= 0x40) --cut;
    }
    if (cut > 0) {
      const bool wanted = sink.TakesBytes(ByteEncoding::kGbk)
                              ? sink.TakeBytes(bytes.substr(0, cut), ByteEncoding::kGbk)
                              : sink.Take(decode_ansi(bytes.substr(0, cut)), false);
      if (!wanted) return;
    }
    if (reader.AtEnd() || !reader.Next(cut)) return;
  }
}

// Up to the last sequence that the end of bytes cuts off (unless final): a lenient decoder
// starts a character at every byte that is no continuation byte.
std::size_t WholeCharacters(std::string_view bytes, bool final) {
  if (final) return bytes.size();
  std::size_t start = bytes.size();
  while (start > 0 && bytes.size() - start < 4 &&
         (static_cast<unsigned char>(bytes[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) return bytes.size();
  const auto lead = static_cast<unsigned char>(bytes[start - 1]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return start - 1 + length > bytes.size() ? start - 1 : bytes.size();
}

// Returns false when the bytes are no UTF-8 after all.
bool DecodeUtf8(ChunkReader& reader, TextSink& sink, bool lenient, std::size_t skip,
                std::vector<char16_t>& units) {
  std::size_t used = skip;
  bool wanted = true;  // past this, the rest is only checked for being UTF-8
  while (true) {
    const std::string_view bytes = reader.Bytes().substr(used);
    const bool last = reader.AtEnd();
    std::size_t decoded = 0;
    bool ill_formed = false;
    if (sink.TakesBytes(ByteEncoding::kUtf8)) {
      decoded = lenient ? WholeCharacters(bytes, last) : CheckUtf8Prefix(bytes, last, ill_formed);
      if (ill_formed) return false;
      if (wanted) wanted = sink.TakeBytes(bytes.substr(0, decoded), ByteEncoding::kUtf8);
    } else {
      if (units.size() < bytes.size()) units.resize(bytes.size());
      std::size_t written = 0;
      const bool fold = sink.TakesFolded();
      decoded = DecodeUtf8Prefix(bytes, last, lenient, fold, units.data(), written, ill_formed);
      if (ill_formed) return false;
      if (wanted) wanted = sink.Take(std::u16string_view(units.data(), written), fold);
    }
    if (!wanted && lenient) return true;  // a marked file is UTF-8 whatever follows
    if (last) return true;
    if (!reader.Next(used + decoded)) return true;
    used = 0;
  }
}

TextEncoding Decode(ChunkReader& reader, const AnsiDecoder& decode_ansi, TextSink& sink,
                    std::vector<char16_t>& units) {
  reader.Next(0);
  const std::string_view start = reader.Bytes();
  if (start.starts_with("\xEF\xBB\xBF")) {
    DecodeUtf8(reader, sink, true, 3, units);
    return TextEncoding::kUtf8WithMark;
  }
  if (start.starts_with("\xFF\xFE")) {
    DecodeUtf16(reader, sink, false, 2);
    return TextEncoding::kUtf16Le;
  }
  if (start.starts_with("\xFE\xFF")) {
    DecodeUtf16(reader, sink, true, 2);
    return TextEncoding::kUtf16Be;
  }
  if (DecodeUtf8(reader, sink, false, 0, units)) return TextEncoding::kUtf8;
  reader.Rewind();
  sink.Restart();
  reader.Next(0);
  DecodeAnsi(reader, decode_ansi, sink);
  return TextEncoding::kAnsi;
}

}  // namespace

TextEncoding DecodeInChunks(ByteSource& source, const AnsiDecoder& decode_ansi, TextSink& sink,
                            std::size_t chunk) {
  ChunkReader reader(source, std::max<std::size_t>(chunk, 4));
  std::vector<char16_t> units;
  return Decode(reader, decode_ansi, sink, units);
}

TextEncoding DecodeBytes(std::string_view bytes, const AnsiDecoder& decode_ansi, TextSink& sink,
                         std::vector<char16_t>& units, std::size_t chunk) {
  ChunkReader reader(bytes, chunk == 0 ? bytes.size() : chunk);
  return Decode(reader, decode_ansi, sink, units);
}

}  // namespace tesqua
