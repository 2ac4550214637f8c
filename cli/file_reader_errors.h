// What both systems' file readers throw, from errno, and where they spool.
#pragma once

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/file_reader.h"

namespace tesqua::file_reader {

[[noreturn]] inline void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

[[noreturn]] inline void FailSpool(const char* what) {
  throw SpoolFailure(errno, std::generic_category(), what);
}

// The system's folder for temporary files; TMPDIR (TMP, TEMP) where set.
inline std::filesystem::path TemporaryFolder() {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) throw SpoolFailure(error, "no folder for a temporary file");
  return folder;
}

}  // namespace tesqua::file_reader
