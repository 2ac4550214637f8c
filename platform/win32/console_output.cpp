#include "platform/win32/console_output.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "scan/text_encoding.h"

namespace tesqua {
namespace {

HANDLE StandardHandle(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// The C library's words for the failures a user meets, as on Linux; the system's for the rest.
std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::generic_category().message(ENOSPC);
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:  // the reading end of a pipe is closed
      return std::generic_category().message(EPIPE);
    default:
      return std::system_category().message(int(error));
  }
}

class Utf16ConsoleBuffer : public ReportingBuffer {
 public:
  explicit Utf16ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    if (!Failure().empty()) return 0;
    pending_.append(bytes, static_cast<std::size_t>(count));
    // Whole lines only: a character is never cut in two.
    const std::size_t line_end = pending_.rfind('\n');
    if (pending_.size() > kBatch && line_end != std::string::npos && !Write(line_end + 1)) {
      return 0;
    }
    return count;
  }
  int sync() override { return Write(pending_.size()) ? 0 : -1; }

 private:
  static constexpr std::size_t kBatch = 8192;  // units per WriteConsoleW, well below its limits

  bool Write(std::size_t count) {
    if (!Failure().empty()) return false;
    const std::u16string text = DecodeUtf8(std::string_view(pending_).substr(0, count));
    pending_.erase(0, count);
    for (std::size_t at = 0; at < text.size();) {
      std::size_t chunk = std::min(text.size() - at, kBatch);
      const char16_t last = text[at + chunk - 1];
      if (at + chunk < text.size() && last >= 0xD800 && last <= 0xDBFF) --chunk;  // a pair stays
      DWORD written = 0;
      if (!WriteConsoleW(console_, text.data() + at, static_cast<DWORD>(chunk), &written,
                         nullptr)) {
        return Fail(Reason(GetLastError()));
      }
      if (written == 0) return Fail(std::generic_category().message(EIO));
      at += written;
    }
    return true;
  }

  HANDLE console_;
  std::string pending_;
};

class HandleBuffer : public BlockBuffer {
 public:
  explicit HandleBuffer(HANDLE file) : BlockBuffer(false), file_(file) {}

 protected:
  bool WriteAll(std::string_view bytes) override {
    while (!bytes.empty()) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
      DWORD written = 0;
      if (!WriteFile(file_, bytes.data(), chunk, &written, nullptr)) {
        return Fail(Reason(GetLastError()));
      }
      if (written == 0) return Fail(std::generic_category().message(EIO));
      bytes.remove_prefix(written);
    }
    return true;
  }

 private:
  HANDLE file_;
};

}  // namespace

bool IsConsole(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(StandardHandle(stream), &mode) != 0;
}

std::unique_ptr<ReportingBuffer> ConsoleBuffer(StandardStream stream) {
  if (!IsConsole(stream)) return nullptr;
  return std::make_unique<Utf16ConsoleBuffer>(StandardHandle(stream));
}

std::unique_ptr<ReportingBuffer> FileBuffer(StandardStream stream) {
  return std::make_unique<HandleBuffer>(StandardHandle(stream));
}

}  // namespace tesqua
