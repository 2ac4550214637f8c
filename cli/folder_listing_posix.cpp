#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "cli/folder_listing.h"

namespace tesqua {
namespace {

FolderEntry::Kind KindOf(int folder, const char* name, unsigned char type) {
  if (type == DT_REG) return FolderEntry::Kind::kFile;
  if (type == DT_DIR) return FolderEntry::Kind::kFolder;
  if (type != DT_LNK && type != DT_UNKNOWN) return FolderEntry::Kind::kOther;
  // The few entries the listing leaves open: links, and file systems that tell no types.
  struct stat info;
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return FolderEntry::Kind::kOther;
  const bool link = S_ISLNK(info.st_mode);
  if (link && fstatat(folder, name, &info, 0) != 0) return FolderEntry::Kind::kOther;
  if (S_ISREG(info.st_mode)) return FolderEntry::Kind::kFile;
  return S_ISDIR(info.st_mode) && !link ? FolderEntry::Kind::kFolder : FolderEntry::Kind::kOther;
}

}  // namespace

bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    error = std::generic_category().message(errno);
    return false;
  }
  const int descriptor = dirfd(listing);
  while (true) {
    errno = 0;
    const dirent* entry = readdir(listing);
    if (entry == nullptr) break;
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    entries.push_back({name, name, KindOf(descriptor, name, entry->d_type)});
  }
  const int failure = errno;
  closedir(listing);
  if (failure != 0) {
    error = std::generic_category().message(failure);
    return false;
  }
  return true;
}

bool SameFileName(const std::filesystem::path::string_type& a,
                  const std::filesystem::path::string_type& b) {
  return a == b;
}

bool ExpandWildcards(const std::string&, std::vector<std::string>&) {
  return false;
}

bool GlobMatches(const std::filesystem::path::string_type& glob,
                 const std::filesystem::path::string_type& name) {
  return fnmatch(glob.c_str(), name.c_str(), 0) == 0;
}

}  // namespace tesqua
