// A large file read where the system keeps it (mapped), so that the scanner reads it without
// copying it; the pages searched are given back as it goes, so that memory stays bounded.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace tesqua {

class MappedFile {
 public:
  // Empty Bytes() when the file cannot be mapped (the caller reads it instead).
  explicit MappedFile(const std::filesystem::path& file);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view Bytes() const { return {data_, size_}; }
  // The bytes before at will not be read again soon: their pages may go.
  void Release(const char* at);

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t released_ = 0;
};

}  // namespace tesqua
