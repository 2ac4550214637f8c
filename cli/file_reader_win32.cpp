#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

#include "cli/file_reader.h"

namespace tesqua {

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
  if (got < 0) throw std::system_error(errno, std::generic_category(), "cannot read");
  return std::size_t(got);
}

void FileReader::Rewind() {
  if (_lseeki64(descriptor_, 0, SEEK_SET) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot read again");
  }
}

}  // namespace tesqua
