// A fresh directory for one test, made the current directory while the test runs.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace tesqua::testing {

struct TempDir {
  const std::filesystem::path previous = std::filesystem::current_path();
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("tesqua-test-" + std::to_string(std::random_device()()) +
                                      std::to_string(std::random_device()()));
  TempDir() { std::filesystem::create_directories(path), std::filesystem::current_path(path); }
  ~TempDir() {
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

inline void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tesqua::testing
