#include "cli/file_scan.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

#include "cli/file_reader.h"
#include "cli/mapped_file.h"
#include "platform/platform.h"

namespace tesqua {

// The matcher's side of a scan; kept from file to file by a FileScanner. UTF-8 text, and GBK
// text where that is the ANSI code page, it takes as bytes, searched undecoded.
class MatchSink : public TextSink {
 public:
  MatchSink(const Matcher& matcher, bool with_points)
      : with_points_(with_points),
        ansi_is_gbk_(AnsiCodePageIsGbk()),
        stream_(matcher, with_points) {}
  void Restart() override { stream_.Reset(); }
  bool Take(std::u16string_view units, bool folded) override {
    stream_.Feed(units, folded);
    return !stream_.Done();
  }
  bool TakesFolded() const override { return true; }
  bool TakesBytes(ByteEncoding encoding) const override {
    return encoding == ByteEncoding::kUtf8 || ansi_is_gbk_;
  }
  bool TakeBytes(std::string_view bytes, ByteEncoding encoding) override {
    stream_.FeedBytes(bytes, encoding);
    if (mapped_ != nullptr) mapped_->Release(bytes.data());
    return !stream_.Done();
  }
  void Finish(FileScan& scan) {
    stream_.Finish();
    scan.first_positions = stream_.FirstPositions();
    if (with_points_) scan.first_points = stream_.FirstPoints();
  }
  // The mapped file whose bytes come next, so that what was searched of it is given back.
  void ReleasingFrom(MappedFile* mapped) { mapped_ = mapped; }

 private:
  bool with_points_;
  bool ansi_is_gbk_;
  MatchStream stream_;
  MappedFile* mapped_ = nullptr;
};

namespace {

constexpr std::size_t kBinaryProbe = 8192;
// Files up to this size, nearly all formula files, are read in one go.
constexpr std::size_t kWholeFileSize = 64 * 1024;

class FileSource : public ByteSource {
 public:
  FileSource(FileReader& reader, ByteCounter* read) : reader_(reader), read_(read) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t got = reader_.ReadSome(buffer, size);
    if (read_ != nullptr) *read_ += got;
    return got;
  }
  void Rewind() override { reader_.Rewind(); }

 private:
  FileReader& reader_;
  ByteCounter* read_;
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

FileScan Unreadable(std::string error) {
  FileScan scan;
  scan.outcome = FileScan::Outcome::kUnreadable;
  scan.error = std::move(error);
  return scan;
}

FileScan Binary() {
  FileScan scan;
  scan.outcome = FileScan::Outcome::kBinary;
  return scan;
}

// size: the bytes expected, so that a small file gets a small buffer.
FileScan ScanStream(ByteSource& source, const Matcher& matcher, const ScanSettings& settings,
                    std::uintmax_t size) {
  FileScan scan;
  MatchSink sink(matcher, settings.with_points);
  const std::size_t chunk = std::size_t(std::min<std::uintmax_t>(kDecodeChunk, size + 64));
  scan.encoding = DecodeInChunks(source, DecodeAnsiCodePage, sink, chunk);
  sink.Finish(scan);
  return scan;
}

}  // namespace

bool LooksBinary(std::string_view first_bytes) {
  if (first_bytes.starts_with("\xFF\xFE") || first_bytes.starts_with("\xFE\xFF")) return false;
  return first_bytes.substr(0, kBinaryProbe).find('\0') != std::string_view::npos;
}

FileScanner::FileScanner(const Matcher& matcher, const ScanSettings& settings)
    : matcher_(matcher),
      settings_(settings),
      // Left uninitialised: each page costs only when a file reaches it.
      bytes_(new char[kWholeFileSize + 1]),
      sink_(std::make_unique<MatchSink>(matcher, settings.with_points)) {}

FileScanner::~FileScanner() = default;

FileScan FileScanner::Scan(const std::filesystem::path::value_type* file, bool known_regular) {
  FileReader reader(file);
  if (!reader.IsOpen()) {
    std::error_code error;  // Windows will not open a folder at all, and says only "denied"
    return Unreadable(std::filesystem::is_directory(file, error) ? "is a directory"
                                                                 : reader.Error());
  }
  try {
    // Nearly every formula file is small and read in one go, with no look at its size first.
    std::size_t size = 0;
    bool at_end = false;
    while (!at_end && size < kWholeFileSize + 1) {
      const std::size_t got = reader.ReadSome(bytes_.get() + size, kWholeFileSize + 1 - size);
      size += got;
      // A regular file ends where a read falls short; anything else ends with an empty read.
      at_end = got == 0 || (known_regular && size < kWholeFileSize + 1);
    }
    if (at_end) {
      if (settings_.read != nullptr) *settings_.read += size;
      return ScanBytes(std::string_view(bytes_.get(), size));
    }
    return ScanLarge(reader, file);
  } catch (const std::system_error& failure) {
    return Unreadable(failure.code().message());
  }
}

FileScan FileScanner::ScanLarge(FileReader& reader, const std::filesystem::path& file) {
  if (settings_.skip_binary && LooksBinary(std::string_view(bytes_.get(), kWholeFileSize + 1))) {
    return Binary();
  }
  // Searched where the system keeps it, when it can be mapped: no copy at all.
  MappedFile mapped(file);
  if (!mapped.Bytes().empty()) {
    if (settings_.read != nullptr) *settings_.read += mapped.Bytes().size();
    FileScan scan;
    sink_->Restart();
    sink_->ReleasingFrom(&mapped);
    scan.encoding = DecodeBytes(mapped.Bytes(), DecodeAnsiCodePage, *sink_, units_, kDecodeChunk);
    sink_->Finish(scan);
    sink_->ReleasingFrom(nullptr);
    return scan;
  }
  std::error_code error;
  std::uintmax_t file_size = std::filesystem::file_size(file, error);
  if (error) file_size = kDecodeChunk;  // not a plain file: its size says nothing
  FileSource source(reader, settings_.read);
  source.Rewind();
  return ScanStream(source, matcher_, settings_, file_size);
}

FileScan FileScanner::ScanBytes(std::string_view bytes) {
  if (settings_.skip_binary && LooksBinary(bytes)) return Binary();
  if (bytes.size() > kWholeFileSize) {  // decoded piece by piece, as a large file is
    MemorySource source(bytes);
    return ScanStream(source, matcher_, settings_, bytes.size());
  }
  FileScan scan;
  sink_->Restart();
  scan.encoding = DecodeBytes(bytes, DecodeAnsiCodePage, *sink_, units_);
  sink_->Finish(scan);
  return scan;
}

FileScan ScanFile(const std::filesystem::path& file, const Matcher& matcher,
                  const ScanSettings& settings, bool known_regular) {
  return FileScanner(matcher, settings).Scan(file.c_str(), known_regular);
}

FileScan ScanBytes(std::string_view bytes, const Matcher& matcher, const ScanSettings& settings) {
  return FileScanner(matcher, settings).ScanBytes(bytes);
}

}  // namespace tesqua
