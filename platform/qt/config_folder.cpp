#include "platform/qt/config_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/new_file.h"
#include "scan/library.h"

namespace tesqua {
namespace {

using std::filesystem::path;

path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  const passwd* user = getpwuid(getuid());
  if (user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
  throw PlatformFailure("the home folder is unknown");
}

std::string ReadWhole(const path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  std::string bytes(in ? std::size_t(in.tellg()) : 0, '\0');
  if (!in || !in.seekg(0).read(bytes.data(), std::streamsize(bytes.size()))) {
    throw PlatformFailure("could not read " + file.string());
  }
  return bytes;
}

// Gives the file the name `to` unless an entry of that name exists (false then): a second name
// given in one step, then the first one removed; across file systems, or on one without hard
// links, a copy created in one step. The file stays at `from` whenever it could not be moved.
bool MoveWithoutReplacing(const path& from, const path& to) {
  if (link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return false;
    if (errno != EXDEV && errno != EPERM && errno != EOPNOTSUPP) {
      throw std::system_error(errno, std::generic_category(), "could not move " + from.string());
    }
    if (!CreateNewFile(to, ReadWhole(from))) return false;
  }
  // Both names left, should the home folder refuse this, hold the same bytes.
  std::error_code ignored;
  std::filesystem::remove(from, ignored);
  return true;
}

}  // namespace

path ConfigFolder(const path& home) {
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  if (config_home != nullptr && path(config_home).is_absolute())
    return path(config_home) / "tesqua";
  return home / ".config" / "tesqua";
}

void EnterConfigFolder() {
  path home;
  try {
    home = HomeFolder();
    const path folder = ConfigFolder(home);
    std::filesystem::create_directories(folder);
    const path old_library = home / kLibraryFileName, library = folder / kLibraryFileName;
    struct stat status {};
    // A link or anything else but a plain file is the user's own arrangement: it stays.
    const bool found = lstat(old_library.c_str(), &status) == 0;
    if (found && !S_ISREG(status.st_mode)) {
      std::fprintf(stderr, "tesqua: %s stays where it is: not a plain file\n", old_library.c_str());
    } else if (found && !MoveWithoutReplacing(old_library, library)) {
      std::fprintf(stderr, "tesqua: %s stays where it is: %s already exists\n", old_library.c_str(),
                   library.c_str());
    }
    std::filesystem::current_path(folder);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "tesqua: %s; working in the %s folder this time\n", failure.what(),
                 home.empty() ? "current" : "home");
    std::error_code ignored;
    if (!home.empty()) std::filesystem::current_path(home, ignored);
  }
}

}  // namespace tesqua
