// The entries of a folder as the system lists them, with the kind the listing already tells:
// no look at each file on its own. One file per system implements it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tesqua {

struct FolderEntry {
  enum class Kind { kFile, kFolder, kOther };
  std::filesystem::path::string_type name;  // as the system spells it
  std::string utf8_name;
  // A symbolic link is what it leads to, except that a link to a folder is kOther: folders
  // are walked where they are.
  Kind kind = Kind::kOther;
};

// The entries of folder but "." and "..", in no particular order. On failure, returns false
// and says why in error.
bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error);

// Whether two file names name the same file in one folder: letter case ignored on Windows.
bool SameFileName(const std::filesystem::path::string_type& a,
                  const std::filesystem::path::string_type& b);

// Windows, where the console leaves it to programs: the names that a path whose last part holds
// "*" or "?" matches (files and folders, as the system's FindFirstFile finds them), sorted, each
// spelled with the path's folder part as given; false for a path with no such last part.
// Elsewhere the shell has done it: always false.
bool ExpandWildcards(const std::string& path, std::vector<std::string>& matches);

// Whether a file name matches a glob as the system's own tools match it: fnmatch's "*", "?"
// and "[...]" on Linux; "*" and "?", letter case ignored, on Windows.
bool GlobMatches(const std::filesystem::path::string_type& glob,
                 const std::filesystem::path::string_type& name);

}  // namespace tesqua
