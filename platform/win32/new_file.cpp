#include <windows.h>

#include <atomic>
#include <string>

#include "platform/new_file.h"

namespace tesqua {
namespace {

// Worded as the C library words them on the other systems, for the scanner's messages.
[[noreturn]] void Fail(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      throw PlatformFailure("Permission denied");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      throw PlatformFailure("No such file or directory");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      throw PlatformFailure("No space left on device");
    case ERROR_WRITE_PROTECT:
      throw PlatformFailure("Read-only file system");
    default:
      throw PlatformFailure("Windows error " + std::to_string(error));
  }
}

// The temporary file, open for writing until Close.
class TempFile {
 public:
  explicit TempFile(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    while (handle_ == INVALID_HANDLE_VALUE) {
      path_ = file;
      path_.replace_filename(L"." + file.filename().wstring() + L"." +
                             std::to_wstring(GetCurrentProcessId()) + L"." +
                             std::to_wstring(counter++) + L".tmp");
      handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
        Fail(GetLastError());
      }
    }
  }
  ~TempFile() {
    Close();
    DeleteFileW(path_.c_str());  // fails, as it should, once the file has its name
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes bytes and flushes them to disk; false with the reason in GetLastError.
  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD size = bytes.size() > 1u << 30 ? 1u << 30 : DWORD(bytes.size());
      if (!WriteFile(handle_, bytes.data(), size, &written, nullptr)) return false;
      bytes.remove_prefix(written);
    }
    return FlushFileBuffers(handle_) != 0;
  }

  bool Close() {
    const bool closed = handle_ == INVALID_HANDLE_VALUE || CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  std::filesystem::path path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

bool CreateNewFile(const std::filesystem::path& file, std::string_view bytes) {
  TempFile temp(file);
  if (!temp.Write(bytes) || !temp.Close()) Fail(GetLastError());
  // Without MOVEFILE_REPLACE_EXISTING the move fails where any entry of that name exists.
  if (MoveFileExW(temp.path().c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ||
      GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  Fail(error);
}

}  // namespace tesqua
