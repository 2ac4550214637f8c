#include "scan/text_stream.h"

#include <algorithm>
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
  // Bytes in memory, all of them one chunk that is its own end: nothing is read or copied.
  explicit ChunkReader(std::string_view whole) : whole_(whole), at_end_(true) {}

  // Keeps the bytes from kept_from on, appends fresh ones; false when nothing is left.
  bool Next(std::size_t kept_from) {
    if (source_ == nullptr) return false;
    const std::size_t kept = size_ - std::min(kept_from, size_);
    std::copy(buffer_.begin() + std::ptrdiff_t(size_ - kept),
              buffer_.begin() + std::ptrdiff_t(size_), buffer_.begin());
    if (kept == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // one endless ANSI line
    size_ = Fill(*source_, buffer_, kept);
    at_end_ = size_ < buffer_.size();
    return size_ > 0;
  }
  std::string_view Bytes() const {
    return source_ == nullptr ? whole_ : std::string_view(buffer_).substr(0, size_);
  }
  bool AtEnd() const { return at_end_; }
  void Rewind() {
    if (source_ == nullptr) return;
    source_->Rewind();
    size_ = 0;
    at_end_ = false;
  }

 private:
  ByteSource* source_ = nullptr;
  std::string buffer_;
  std::string_view whole_;
  std::size_t size_ = 0;
  bool at_end_ = false;
};

void DecodeUtf16(ChunkReader& reader, TextSink& sink, bool big_endian, std::size_t skip) {
  std::u16string units;
  std::size_t used = skip;
  while (true) {
    const std::string_view bytes = reader.Bytes().substr(used);
    units.clear();
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(bytes[i]);
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      units.push_back(char16_t(big_endian ? (first << 8) | second : (second << 8) | first));
    }
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
    if (cut > 0 && !sink.Take(decode_ansi(bytes.substr(0, cut)), false)) return;
    if (reader.AtEnd() || !reader.Next(cut)) return;
  }
}

// Returns false when the bytes are no UTF-8 after all.
bool DecodeUtf8(ChunkReader& reader, TextSink& sink, bool lenient, std::size_t skip,
                std::vector<char16_t>& units) {
  std::size_t used = skip;
  bool wanted = true;  // past this, the rest is only checked for being UTF-8
  while (true) {
    const std::string_view bytes = reader.Bytes().substr(used);
    const bool last = reader.AtEnd();
    if (units.size() < bytes.size()) units.resize(bytes.size());
    std::size_t written = 0;
    bool ill_formed = false;
    const bool fold = sink.TakesFolded();
    const std::size_t decoded =
        DecodeUtf8Prefix(bytes, last, lenient, fold, units.data(), written, ill_formed);
    if (ill_formed) return false;
    if (wanted) wanted = sink.Take(std::u16string_view(units.data(), written), fold);
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
                         std::vector<char16_t>& units) {
  ChunkReader reader(bytes);
  return Decode(reader, decode_ansi, sink, units);
}

}  // namespace tesqua
