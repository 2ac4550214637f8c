#include <windows.h>

#include <algorithm>
#include <system_error>

#include "cli/folder_listing.h"

namespace tesqua {
namespace {

// A listing in progress; closed when it goes.
class FindHandle {
 public:
  FindHandle(const std::filesystem::path& pattern, WIN32_FIND_DATAW& found)
      : handle_(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH)) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAW& found) { return FindNextFileW(handle_, &found) != 0; }

 private:
  HANDLE handle_;
};

// Letters compared as the file system compares them: by their upper case.
wchar_t Upper(wchar_t c) {
  return wchar_t(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(UINT_PTR(c)))));
}

// "*" any run, "?" one character, as the console's own commands match; "[" is a letter here,
// as names may hold it.
bool Matches(std::wstring_view glob, std::wstring_view name) {
  std::size_t g = 0, n = 0, star = std::wstring_view::npos, resume = 0;
  while (n < name.size()) {
    if (g < glob.size() && glob[g] == L'*') {
      star = g++;
      resume = n;
    } else if (g < glob.size() && (glob[g] == L'?' || Upper(glob[g]) == Upper(name[n]))) {
      ++g;
      ++n;
    } else if (star != std::wstring_view::npos) {
      g = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (g < glob.size() && glob[g] == L'*') ++g;
  return g == glob.size();
}

}  // namespace

// The system's listing, which tells the attributes with the names. A folder that is a reparse
// point (a symbolic link or a junction; the standard library here takes both for folders) is
// not walked: it may lead back up the tree, and folders are walked where they are.
bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error) {
  WIN32_FIND_DATAW found;
  FindHandle listing(folder / L"*", found);
  if (!listing.IsOpen()) {
    error = std::system_category().message(int(GetLastError()));
    return false;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = found.dwFileAttributes;
    FolderEntry::Kind kind = FolderEntry::Kind::kFile;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      kind = attributes & FILE_ATTRIBUTE_REPARSE_POINT ? FolderEntry::Kind::kOther
                                                       : FolderEntry::Kind::kFolder;
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
      kind = FolderEntry::Kind::kOther;
    }
    const std::u8string utf8 = std::filesystem::path(name).u8string();
    entries.push_back({name, std::string(utf8.begin(), utf8.end()), kind});
  } while (listing.Next(found));
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    error = std::system_category().message(int(GetLastError()));
    return false;
  }
  return true;
}

bool SameFileName(const std::filesystem::path::string_type& a,
                  const std::filesystem::path::string_type& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool ExpandWildcards(const std::string& path, std::vector<std::string>& matches) {
  const std::size_t last_part = path.find_last_of("\\/:") + 1;  // 0 where there is none
  if (path.find_first_of("*?", last_part) == std::string::npos) return false;
  WIN32_FIND_DATAW found;
  FindHandle listing(std::filesystem::u8path(path), found);
  std::vector<std::wstring> names;
  if (listing.IsOpen()) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (listing.Next(found));
  }
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names) {
    const std::u8string utf8 = std::filesystem::path(name).u8string();
    matches.push_back(path.substr(0, last_part) + std::string(utf8.begin(), utf8.end()));
  }
  return true;
}

bool GlobMatches(const std::filesystem::path::string_type& glob,
                 const std::filesystem::path::string_type& name) {
  return Matches(glob, name);
}

}  // namespace tesqua
