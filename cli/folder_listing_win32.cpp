#include "cli/folder_listing.h"

namespace tesqua {

// The standard library's listing, which on this system reads the attributes with the names.
bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error) {
  namespace fs = std::filesystem;
  std::error_code list_error;
  for (fs::directory_iterator it(folder, list_error), end; !list_error && it != end;
       it.increment(list_error)) {
    const fs::directory_entry& child = *it;
    std::error_code status_error;
    FolderEntry::Kind kind = FolderEntry::Kind::kOther;
    if (child.is_directory(status_error) && !child.is_symlink(status_error)) {
      kind = FolderEntry::Kind::kFolder;
    } else if (child.is_regular_file(status_error)) {
      kind = FolderEntry::Kind::kFile;
    }
    const fs::path name = child.path().filename();
    const std::u8string utf8 = name.u8string();
    entries.push_back({name.native(), std::string(utf8.begin(), utf8.end()), kind});
  }
  if (list_error) {
    error = list_error.message();
    return false;
  }
  return true;
}

}  // namespace tesqua
