#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "cli/file_reader.h"

namespace tesqua {

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
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "cannot read");
  }
}

void FileReader::Rewind() {
  if (lseek(descriptor_, 0, SEEK_SET) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot read again");
  }
}

}  // namespace tesqua
