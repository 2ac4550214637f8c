#include "cli/file_scan.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/file_reader.h"
#include "platform/platform.h"

namespace tesqua {

// The matcher's side of a scan; kept from file to file by a FileScanner.
class MatchSink : public TextSink {
 public:
  MatchSink(const Matcher& matcher, bool with_points)
      : with_points_(with_points), stream_(matcher, with_points) {}
  void Restart() override { stream_.Reset(); }
  bool Take(std::u16string_view units, bool folded) override {
    stream_.Feed(units, folded);
    return !stream_.Done();
  }
  bool TakesFolded() const override { return true; }
  virtual void Finish(FileScan& scan) {
    stream_.Finish();
    scan.first_positions = stream_.FirstPositions();
    if (with_points_) scan.first_points = stream_.FirstPoints();
  }

 private:
  bool with_points_;
  MatchStream stream_;
};

namespace {

constexpr std::size_t kBinaryProbe = 8192;
// Below this, starting a second thread costs more than it saves.
constexpr std::uintmax_t kPipelinedSize = 4 << 20;
// Files up to this size, nearly all formula files, are read in one go.
constexpr std::size_t kWholeFileSize = 64 * 1024;

// A large file is decoded on one core and searched on another: the decoded pieces pass from
// this thread to a searching thread through a short queue.
class PipelinedMatchSink : public MatchSink {
 public:
  PipelinedMatchSink(const Matcher& matcher, bool with_points)
      : MatchSink(matcher, with_points), searcher_([this] { Search(); }) {}
  ~PipelinedMatchSink() override {
    if (searcher_.joinable()) Stop();
  }
  // Returns once the searcher has started over, so that no answer about the old text is
  // taken for one about the new.
  void Restart() override {
    Push(Piece::kRestart, {}, false);
    std::unique_lock lock(mutex_);
    ++restarts_asked_;
    changed_.wait(lock, [this] { return restarts_done_ == restarts_asked_; });
  }
  bool Take(std::u16string_view units, bool folded) override {
    if (done_) return false;
    Push(Piece::kText, units, folded);
    return !done_;
  }
  void Finish(FileScan& scan) override {
    Stop();
    MatchSink::Finish(scan);
  }

 private:
  struct Piece {
    enum Kind { kText, kRestart, kEnd } kind;
    std::vector<char16_t> units;
    bool folded = false;
  };
  static constexpr std::size_t kMostQueued = 4;

  void Push(Piece::Kind kind, std::u16string_view units, bool folded) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMostQueued; });
    std::vector<char16_t> buffer;
    if (!spare_.empty()) {
      buffer = std::move(spare_.back());
      spare_.pop_back();
    }
    buffer.assign(units.begin(), units.end());
    queue_.push_back(Piece{kind, std::move(buffer), folded});
    changed_.notify_all();
  }
  void Stop() {
    Push(Piece::kEnd, {}, false);
    searcher_.join();
  }
  void Search() {
    while (true) {
      Piece piece;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !queue_.empty(); });
        piece = std::move(queue_.front());
        queue_.pop_front();
        changed_.notify_all();
      }
      if (piece.kind == Piece::kEnd) return;
      if (piece.kind == Piece::kRestart) {
        MatchSink::Restart();
        done_ = false;
        const std::lock_guard lock(mutex_);
        ++restarts_done_;
        changed_.notify_all();
      } else {
        done_ = !MatchSink::Take(std::u16string_view(piece.units.data(), piece.units.size()),
                                 piece.folded);
      }
      const std::lock_guard lock(mutex_);
      spare_.push_back(std::move(piece.units));
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> queue_;
  std::vector<std::vector<char16_t>> spare_;
  std::atomic<bool> done_{false};
  int restarts_asked_ = 0;
  int restarts_done_ = 0;
  std::thread searcher_;  // last: starts once everything it uses is there
};

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
  const bool with_points = settings.with_points;
  FileScan scan;
  std::unique_ptr<MatchSink> sink = size >= kPipelinedSize
                                        ? std::make_unique<PipelinedMatchSink>(matcher, with_points)
                                        : std::make_unique<MatchSink>(matcher, with_points);
  const std::size_t chunk = std::size_t(std::min<std::uintmax_t>(kDecodeChunk, size + 64));
  scan.encoding = DecodeInChunks(source, DecodeAnsiCodePage, *sink, chunk);
  sink->Finish(scan);
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
