#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <system_error>

#include "cli/output.h"
#include "cli/terminal.h"

namespace tesqua {
namespace {

class DescriptorBuffer : public BlockBuffer {
 public:
  explicit DescriptorBuffer(int descriptor)
      : BlockBuffer(isatty(descriptor) == 1), descriptor_(descriptor) {}

 protected:
  bool WriteAll(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = write(descriptor_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return Fail(std::generic_category().message(written < 0 ? errno : EIO));
      bytes.remove_prefix(std::size_t(written));
    }
    return true;
  }

 private:
  int descriptor_;
};

}  // namespace

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

std::unique_ptr<ReportingBuffer> StandardOutputBuffer() {
  return std::make_unique<DescriptorBuffer>(STDOUT_FILENO);
}

// Terminals here take UTF-8 as it is.
struct ConsoleText::Streams {
  BufferSwap out{std::cout, StandardOutputBuffer()};
};
ConsoleText::ConsoleText() : streams_(std::make_unique<Streams>()) {}
ConsoleText::~ConsoleText() = default;

}  // namespace tesqua
