#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/mapped_file.h"

namespace tesqua {
namespace {

// Pages are given back in steps of this size: few system calls, little memory held.
constexpr std::size_t kReleaseStep = 8 << 20;

}  // namespace

MappedFile::MappedFile(const std::filesystem::path& file) {
  const int descriptor = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return;
  struct stat status {};
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    void* data = mmap(nullptr, std::size_t(status.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (data != MAP_FAILED) {
      madvise(data, std::size_t(status.st_size), MADV_SEQUENTIAL);
      data_ = static_cast<const char*>(data);
      size_ = std::size_t(status.st_size);
    }
  }
  close(descriptor);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) munmap(const_cast<char*>(data_), size_);
}

void MappedFile::Release(const char* at) {
  if (data_ == nullptr || at < data_ || at > data_ + size_) return;
  const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
  const std::size_t until = std::size_t(at - data_) / page * page;
  // The text starts over when its encoding turns out otherwise: the pages read again come
  // back, and are given back again from the start.
  if (until < released_) released_ = 0;
  if (until < released_ + kReleaseStep) return;
  madvise(const_cast<char*>(data_) + released_, until - released_, MADV_DONTNEED);
  released_ = until;
}

}  // namespace tesqua
