#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

#include "platform/new_file.h"

namespace tesqua {
namespace {

[[noreturn]] void Fail(int error) {
  throw PlatformFailure(std::generic_category().message(error));
}

bool WriteAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno != EINTR) return false;
    if (written > 0) bytes.remove_prefix(std::size_t(written));
  }
  return true;
}

// Gives temp the name file unless an entry of that name exists (errno is then EEXIST).
bool MoveWithoutReplacing(const char* temp, const char* file) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, temp, AT_FDCWD, file, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // File systems that cannot rename without replacing can still refuse a second name.
  if (link(temp, file) != 0) return false;
  unlink(temp);
  return true;
}

}  // namespace

bool CreateNewFile(const std::filesystem::path& file, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp;
  int descriptor = -1;
  while (descriptor < 0) {
    std::string name = file.filename().string();
    name.append(".").append(std::to_string(getpid())).append(".");
    name.append(std::to_string(counter++)).append(".tmp");
    temp = file;
    temp.replace_filename(name.insert(0, 1, '.'));
    descriptor = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno != EEXIST) Fail(errno);
  }
  int error = 0;
  if (!WriteAll(descriptor, bytes) || fsync(descriptor) != 0) error = errno;
  if (close(descriptor) != 0 && error == 0) error = errno;
  if (error == 0 && MoveWithoutReplacing(temp.c_str(), file.c_str())) return true;
  if (error == 0) error = errno;
  unlink(temp.c_str());
  if (error == EEXIST) return false;
  Fail(error);
}

}  // namespace tesqua
