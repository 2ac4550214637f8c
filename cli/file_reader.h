// A file opened for reading, and a temporary file to spool into: the file operations the
// scanner does below the standard library, so that a small file costs one open, one read and
// one close. One file per system implements them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

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
  // Whether Rewind works: a regular file can be read again, a pipe or a device cannot.
  bool CanRewind() const;
  void Rewind();

 private:
  int descriptor_ = -1;
  std::string error_;
};

// A temporary file that could not be made, written or read; the message says so.
class SpoolFailure : public std::system_error {
 public:
  using std::system_error::system_error;
};

// A temporary file without a name that anyone else could open, in the system's folder for
// them; it goes when closed, and with the process if that ends first. Throws SpoolFailure.
class SpoolFile {
 public:
  SpoolFile();
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  void Append(const char* bytes, std::size_t size);
  // Up to size bytes from offset; fewer only at the end.
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size);

 private:
  int descriptor_ = -1;
};

}  // namespace tesqua
