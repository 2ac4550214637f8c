#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <string>
#include <system_error>

#include "cli/file_reader.h"
#include "cli/file_reader_errors.h"

namespace tesqua {
using file_reader::Fail;
using file_reader::FailSpool;
using file_reader::TemporaryFolder;

// The C runtime's descriptors: wide names, binary mode, errno like elsewhere.
FileReader::FileReader(const std::filesystem::path::value_type* file)
    : descriptor_(_wopen(file, _O_RDONLY | _O_BINARY)) {
  if (descriptor_ < 0) error_ = std::generic_category().message(errno);
}

FileReader::~FileReader() {
  if (descriptor_ >= 0) _close(descriptor_);
}

std::size_t FileReader::ReadSome(char* buffer, std::size_t size) {
  const auto count = unsigned(std::min<std::size_t>(size, INT_MAX));
  const int got = _read(descriptor_, buffer, count);
  if (got < 0) Fail("cannot read");
  return std::size_t(got);
}

bool FileReader::CanRewind() const {
  struct _stat64 status;
  return _fstat64(descriptor_, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

void FileReader::Rewind() {
  if (_lseeki64(descriptor_, 0, SEEK_SET) < 0) Fail("cannot read again");
}

// Deleted by the system when its descriptor closes (_O_TEMPORARY), even after a crash, and
// opened for this process alone.
SpoolFile::SpoolFile() {
  static std::atomic<unsigned> serial{0};
  const std::filesystem::path folder = TemporaryFolder();
  for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
    const std::wstring name =
        L"tesqua-spool-" + std::to_wstring(_getpid()) + L"-" + std::to_wstring(serial++) + L".tmp";
    descriptor_ = _wsopen(
        (folder / name).c_str(),
        _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_SHORT_LIVED | _O_NOINHERIT,
        _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (descriptor_ < 0 && errno != EEXIST) break;
  }
  if (descriptor_ < 0) FailSpool("cannot make a temporary file");
}

SpoolFile::~SpoolFile() {
  if (descriptor_ >= 0) _close(descriptor_);
}

void SpoolFile::Append(const char* bytes, std::size_t size) {
  if (_lseeki64(descriptor_, 0, SEEK_END) < 0) FailSpool("cannot write a temporary file");
  while (size > 0) {
    const auto count = unsigned(std::min<std::size_t>(size, INT_MAX));
    const int written = _write(descriptor_, bytes, count);
    if (written <= 0) FailSpool("cannot write a temporary file");
    bytes += written;
    size -= std::size_t(written);
  }
}

std::size_t SpoolFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
  if (_lseeki64(descriptor_, std::int64_t(offset), SEEK_SET) < 0) {
    FailSpool("cannot read a temporary file");
  }
  std::size_t done = 0;
  while (done < size) {
    const auto count = unsigned(std::min<std::size_t>(size - done, INT_MAX));
    const int got = _read(descriptor_, buffer + done, count);
    if (got < 0) FailSpool("cannot read a temporary file");
    if (got == 0) break;
    done += std::size_t(got);
  }
  return done;
}

}  // namespace tesqua
