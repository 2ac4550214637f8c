#include "cli/file_scan.h"

#include <emmintrin.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "cli/file_reader.h"
#include "cli/mapped_file.h"
#include "platform/platform.h"
#include "scan/match_sink.h"

namespace tesqua {

namespace {

constexpr std::size_t kBinaryProbe = 8192;
// Files up to this size, nearly all formula files, are read in one go.
constexpr std::size_t kWholeFileSize = 64 * 1024;
// A pipe's or standard input's: large, since more than kWholeFileSize came.
constexpr std::uintmax_t kUnknownSize = 4 << 20;

void ThrowIfStopped(const ScanSettings& settings) {
  if (settings.stop != nullptr && settings.stop->load(std::memory_order_relaxed)) {
    throw std::runtime_error("the scan was stopped");
  }
}

class FileSource : public ByteSource {
 public:
  FileSource(FileReader& reader, const ScanSettings& settings)
      : reader_(reader), settings_(settings) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    ThrowIfStopped(settings_);
    const std::size_t got = reader_.ReadSome(buffer, size);
    if (settings_.read != nullptr) *settings_.read += got;
    return got;
  }
  void Rewind() override { reader_.Rewind(); }

 private:
  FileReader& reader_;
  const ScanSettings& settings_;
};

// Standard input; read once, so InputSource keeps what a rewind needs.
class StreamSource : public ByteSource {
 public:
  StreamSource(std::istream& in, const ScanSettings& settings) : in_(in), settings_(settings) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    ThrowIfStopped(settings_);
    in_.read(buffer, std::streamsize(size));
    if (in_.bad()) throw std::system_error(std::make_error_code(std::errc::io_error));
    const auto got = std::size_t(in_.gcount());
    if (settings_.read != nullptr) *settings_.read += got;
    return got;
  }
  void Rewind() override { throw std::logic_error("standard input cannot be read again"); }

 private:
  std::istream& in_;
  const ScanSettings& settings_;
};

// An input whose first bytes (its head) have been read already: the head first, then the
// rest. A rewind seeks back where the input can seek. Where it cannot (a pipe, standard
// input), what was read is spooled to a temporary file while a rewind may still come, and a
// rewind reads that back; the file goes once no rewind can come and it has been read back.
class InputSource : public ByteSource {
 public:
  InputSource(ByteSource& rest, std::string_view head, bool can_seek)
      : rest_(rest), head_(head), can_seek_(can_seek) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (at_ < spooled_) {
      const std::size_t got =
          spool_->ReadAt(at_, buffer, std::size_t(std::min<std::uint64_t>(size, spooled_ - at_)));
      at_ += got;
      return got;
    }
    if (!keeping_) spool_.reset();
    std::size_t got;
    if (head_at_ < head_.size()) {
      got = head_.copy(buffer, size, head_at_);
      head_at_ += got;
    } else {
      got = rest_.Read(buffer, size);
    }
    if (keeping_ && !can_seek_ && got > 0) Keep(buffer, got);
    at_ += got;
    return got;
  }
  void Rewind() override {
    if (can_seek_) {
      rest_.Rewind();
      head_ = {};
    } else if (spool_failure_) {
      throw *spool_failure_;
    } else if (!keeping_) {
      throw std::logic_error("a rewind after the last one");
    }
    at_ = 0;
  }
  void NoMoreRewinds() override { keeping_ = false; }

 private:
  // A spool that fails (no folder for it, a full disk) costs only the rewind, which most
  // inputs never need; the failure is told if one does.
  void Keep(const char* bytes, std::size_t size) {
    try {
      if (!spool_) spool_.emplace();
      spool_->Append(bytes, size);
      spooled_ += size;
    } catch (const SpoolFailure& failure) {
      spool_failure_ = failure;
      keeping_ = false;
      spool_.reset();
      spooled_ = 0;
    }
  }

  ByteSource& rest_;
  std::string_view head_;
  std::size_t head_at_ = 0;
  bool can_seek_;
  bool keeping_ = true;
  std::optional<SpoolFile> spool_;
  std::optional<SpoolFailure> spool_failure_;
  std::uint64_t spooled_ = 0;  // bytes in the spool, from the start of the input
  std::uint64_t at_ = 0;       // the next byte to read, from the start of the input
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = bytes_.copy(buffer, size, at_);
    at_ += count;
    return count;
  }
  void Rewind() override { at_ = 0; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

const AnsiCodePage& SystemCodePage() {
  static const AnsiCodePage code_page{DecodeAnsiCodePage, IsAnsiLeadByte};
  return code_page;
}

FileScan Unreadable(std::string error) {
  FileScan scan;
  scan.outcome = FileScan::Outcome::kUnreadable;
  scan.error = std::move(error);
  return scan;
}

void Collect(MatchSink& sink, FileScan& scan) {
  const MatchStream& stream = sink.Finish();
  scan.hits = stream.Hits();
}

FileScan Binary() {
  FileScan scan;
  scan.outcome = FileScan::Outcome::kBinary;
  return scan;
}

// size: the bytes expected, so that a small file gets a small buffer.
FileScan ScanPieces(ByteSource& source, const Matcher& matcher, const ScanSettings& settings,
                    std::uintmax_t size) {
  FileScan scan;
  // UTF-8 text, and GBK text where that is the ANSI code page, searched as bytes.
  MatchSink sink(matcher, settings.with_points, true, AnsiCodePageIsGbk());
  const std::size_t chunk = std::size_t(std::min<std::uintmax_t>(kDecodeChunk, size + 64));
  scan.encoding = DecodeInChunks(source, SystemCodePage(), sink, chunk);
  Collect(sink, scan);
  return scan;
}

}  // namespace

bool LooksBinary(std::string_view first_bytes) {
  if (first_bytes.starts_with("\xFF\xFE") || first_bytes.starts_with("\xFE\xFF")) return false;
  const std::string_view probe = first_bytes.substr(0, kBinaryProbe);
  // Sixteen bytes at a time, without a branch per byte: text has a line break in every few
  // words, and a branch on each would be guessed wrong as often.
  std::size_t at = 0;
  const __m128i low = _mm_set1_epi8(0x1F), tab = _mm_set1_epi8('\t'), breaks = _mm_set1_epi8(4),
                end_mark = _mm_set1_epi8(0x1A);
  for (; at + 16 <= probe.size(); at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(probe.data() + at));
    const __m128i below_space = _mm_cmpeq_epi8(_mm_min_epu8(bytes, low), bytes);
    const __m128i from_tab = _mm_sub_epi8(bytes, tab);  // tab to CR: 0 to 4
    const __m128i text = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(from_tab, breaks), from_tab),
                                      _mm_cmpeq_epi8(bytes, end_mark));
    if (_mm_movemask_epi8(_mm_andnot_si128(text, below_space)) != 0) return true;
  }
  for (; at < probe.size(); ++at) {
    const auto byte = static_cast<unsigned char>(probe[at]);
    if (byte < 0x20 && static_cast<unsigned char>(byte - '\t') > '\r' - '\t' && byte != 0x1A) {
      return true;
    }
  }
  return false;
}

FileScanner::FileScanner(const Matcher& matcher, const ScanSettings& settings)
    : matcher_(matcher),
      settings_(settings),
      // Left uninitialised: each page costs only when a file reaches it.
      bytes_(new char[kWholeFileSize + 1]),
      sink_(std::make_unique<MatchSink>(matcher, settings.with_points, true, AnsiCodePageIsGbk())) {
}

FileScanner::~FileScanner() = default;

FileScan FileScanner::Scan(const std::filesystem::path::value_type* file, bool known_regular) {
  FileReader reader(file);
  if (!reader.IsOpen()) {
    std::error_code error;  // Windows will not open a folder at all, and says only "denied"
    return Unreadable(std::filesystem::is_directory(file, error) ? "is a directory"
                                                                 : reader.Error());
  }
  try {
    FileSource source(reader, settings_);
    // A file the listing found regular needs no look of its own: one request less per file.
    const bool can_rewind = known_regular || reader.CanRewind();
    return ScanInput(source, known_regular, can_rewind, file, [&] {
      std::error_code error;
      const std::uintmax_t size = std::filesystem::file_size(file, error);
      return can_rewind && !error ? size : kUnknownSize;
    });
  } catch (const SpoolFailure& failure) {
    return Unreadable(failure.what());
  } catch (const std::system_error& failure) {
    return Unreadable(failure.code().message());
  }
}

FileScan FileScanner::ScanStream(std::istream& in) {
  try {
    StreamSource source(in, settings_);
    return ScanInput(source, false, false, nullptr, [] { return kUnknownSize; });
  } catch (const SpoolFailure& failure) {
    return Unreadable(failure.what());
  } catch (const std::system_error& failure) {
    return Unreadable(failure.code().message());
  }
}

FileScan FileScanner::ScanInput(ByteSource& source, bool known_regular, bool can_rewind,
                                const std::filesystem::path::value_type* file,
                                const std::function<std::uintmax_t()>& size) {
  // Nearly every formula file is small and read in one go, with no look at its size first.
  std::size_t head = 0;
  bool at_end = false;
  while (!at_end && head < kWholeFileSize + 1) {
    const std::size_t got = source.Read(bytes_.get() + head, kWholeFileSize + 1 - head);
    head += got;
    // A regular file ends where a read falls short; anything else ends with an empty read.
    at_end = got == 0 || (known_regular && head < kWholeFileSize + 1);
  }
  const std::string_view head_bytes(bytes_.get(), head);
  if (at_end) return ScanBytes(head_bytes);
  if (LooksBinary(head_bytes)) return Binary();
  if (file != nullptr && can_rewind) {
    // Searched where the system keeps it, when it can be mapped: nothing is copied.
    MappedFile mapped(file);
    if (!mapped.Bytes().empty()) {
      if (settings_.read != nullptr) *settings_.read += mapped.Bytes().size() - head;
      FileScan scan;
      sink_->Restart();
      scan.encoding = DecodeBytes(mapped.Bytes(), SystemCodePage(), *sink_, units_, kDecodeChunk,
                                  [&mapped](const char* passed) { mapped.Release(passed); });
      Collect(*sink_, scan);
      return scan;
    }
  }
  InputSource input(source, head_bytes, can_rewind);
  return ScanPieces(input, matcher_, settings_, size());
}

FileScan FileScanner::ScanBytes(std::string_view bytes) {
  if (LooksBinary(bytes)) return Binary();
  if (bytes.size() > kWholeFileSize) {  // decoded piece by piece, as a large file is
    MemorySource source(bytes);
    return ScanPieces(source, matcher_, settings_, bytes.size());
  }
  FileScan scan;
  sink_->Restart();
  scan.encoding = DecodeBytes(bytes, SystemCodePage(), *sink_, units_);
  Collect(*sink_, scan);
  return scan;
}

FileScan ScanFile(const std::filesystem::path& file, const Matcher& matcher,
                  const ScanSettings& settings, bool known_regular) {
  return FileScanner(matcher, settings).Scan(file.c_str(), known_regular);
}

FileScan ScanStream(std::istream& in, const Matcher& matcher, const ScanSettings& settings) {
  return FileScanner(matcher, settings).ScanStream(in);
}

}  // namespace tesqua
