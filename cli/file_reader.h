// A file opened for reading: the one file operation the scanner does below the standard
// library, so that a small file costs one open, one read and one close. One file per system
// implements it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace tesqua {

class FileReader {
 public:
  // file: the path as the system spells it, so that a listed file needs no path object.
  explicit FileReader(const std::filesystem::path::value_type* file);
  explicit FileReader(const std::filesystem::path& file) : FileReader(file.c_str()) {}
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  bool IsOpen() const { return descriptor_ >= 0; }
  // Why the file could not be opened.
  const std::string& Error() const { return error_; }
  // Up to size bytes with one request to the system; 0 at the end. Of a regular file, fewer
  // bytes than asked for also mean the end. Throws std::system_error when reading fails.
  std::size_t ReadSome(char* buffer, std::size_t size);
  void Rewind();

 private:
  int descriptor_ = -1;
  std::string error_;
};

}  // namespace tesqua
