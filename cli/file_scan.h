// One file searched by a library's matcher, read and decoded piece by piece.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "scan/matcher.h"
#include "scan/text_stream.h"

namespace tesqua {

struct FileScan {
  enum class Outcome { kScanned, kUnreadable, kBinary };
  Outcome outcome = Outcome::kScanned;
  std::string error;  // why it could not be read
  TextEncoding encoding = TextEncoding::kUtf8;
  // The keys of the matcher found, in its order; their lines and columns when asked for.
  std::vector<KeyHit> hits;
};

// Counts the bytes read, for the progress shown while a batch runs.
using ByteCounter = std::atomic<std::uint64_t>;

// A file is binary (an encrypted export, say) when its first 8 KB hold a NUL or another control
// character that no text has (any below 0x20 but tab, LF, VT, FF, CR and the end-of-file mark
// 0x1A), and no UTF-16 byte-order mark. Such a file is not scanned: it cannot be checked.
bool LooksBinary(std::string_view first_bytes);

struct ScanSettings {
  bool with_points = false;  // lines and columns of the first occurrences
  ByteCounter* read = nullptr;
  // Once set, reads throw: the scan is no longer wanted.
  const std::atomic<bool>* stop = nullptr;
};

class FileReader;
class MatchSink;

// Scans files one after another on one thread, keeping its memory from file to file: the
// bytes of a small file, its decoded text and the matcher's state. A batch has one per thread.
class FileScanner {
 public:
  FileScanner(const Matcher& matcher, const ScanSettings& settings);
  ~FileScanner();
  FileScanner(const FileScanner&) = delete;
  FileScanner& operator=(const FileScanner&) = delete;

  // file: the path as the system spells it. known_regular: the file is known to be a plain
  // file (from its folder's listing), so a short read marks its end.
  FileScan Scan(const std::filesystem::path::value_type* file, bool known_regular = false);
  // Bytes already in memory.
  FileScan ScanBytes(std::string_view bytes);
  // A stream read once, front to back (standard input), in bounded memory.
  FileScan ScanStream(std::istream& in);

 private:
  // source: the input from its start. known_regular: a short read marks its end.
  // can_rewind: the source can seek back. file: its path, if it is a file, which a large
  // one is mapped by. size: the input's size, asked only when it is large.
  FileScan ScanInput(ByteSource& source, bool known_regular, bool can_rewind,
                     const std::filesystem::path::value_type* file,
                     const std::function<std::uintmax_t()>& size);

  const Matcher& matcher_;
  ScanSettings settings_;
  std::unique_ptr<char[]> bytes_;  // a small file, whole
  std::vector<char16_t> units_;
  std::unique_ptr<MatchSink> sink_;
};

// One file or one text with a scanner of its own.
FileScan ScanFile(const std::filesystem::path& file, const Matcher& matcher,
                  const ScanSettings& settings, bool known_regular = false);
FileScan ScanStream(std::istream& in, const Matcher& matcher, const ScanSettings& settings);

}  // namespace tesqua
