#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "cli/file_reader.h"
#include "cli/file_reader_errors.h"

namespace tesqua {
using file_reader::Fail;
using file_reader::FailSpool;
using file_reader::TemporaryFolder;

FileReader::FileReader(const std::filesystem::path::value_type* file)
    : descriptor_(open(file, O_RDONLY | O_CLOEXEC)) {
  if (descriptor_ < 0) error_ = std::generic_category().message(errno);
}

FileReader::~FileReader() {
  if (descriptor_ >= 0) close(descriptor_);
}

std::size_t FileReader::ReadSome(char* buffer, std::size_t size) {
  while (true) {
    const ssize_t got = read(descriptor_, buffer, size);
    if (got >= 0) return std::size_t(got);
    if (errno != EINTR) Fail("cannot read");
  }
}

bool FileReader::CanRewind() const {
  struct stat status;
  return fstat(descriptor_, &status) == 0 && (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode));
}

void FileReader::Rewind() {
  if (lseek(descriptor_, 0, SEEK_SET) < 0) Fail("cannot read again");
}

SpoolFile::SpoolFile() {
  const std::string folder = TemporaryFolder().string();
#ifdef O_TMPFILE
  descriptor_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (descriptor_ < 0) {  // a file system without unnamed files: name one and unlink it at once
    std::string name = folder + "/tesqua-spool-XXXXXX";
    descriptor_ = mkostemp(name.data(), O_CLOEXEC);
    if (descriptor_ < 0) FailSpool("cannot make a temporary file");
    unlink(name.c_str());
  }
}

SpoolFile::~SpoolFile() {
  if (descriptor_ >= 0) close(descriptor_);
}

void SpoolFile::Append(const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(descriptor_, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) FailSpool("cannot write a temporary file");
    bytes += written;
    size -= std::size_t(written);
  }
}

std::size_t SpoolFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = pread(descriptor_, buffer + done, size - done, off_t(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FailSpool("cannot read a temporary file");
    if (got == 0) break;
    done += std::size_t(got);
  }
  return done;
}

}  // namespace tesqua
