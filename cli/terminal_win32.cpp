#include <iostream>

#include "cli/terminal.h"
#include "platform/win32/console_output.h"

namespace tesqua {

// Not _isatty, which takes the NUL device for a terminal.
bool StderrIsTerminal() {
  return IsConsole(StandardStream::kError);
}

namespace {

// A stream's own buffer again when it goes: the streams are flushed once more at exit.
class BufferSwap {
 public:
  BufferSwap(std::ostream& stream, std::unique_ptr<std::streambuf> buffer)
      : stream_(stream), buffer_(std::move(buffer)) {
    if (buffer_) before_ = stream_.rdbuf(buffer_.get());
  }
  ~BufferSwap() {
    if (!buffer_) return;
    stream_.flush();
    stream_.rdbuf(before_);
  }
  BufferSwap(const BufferSwap&) = delete;
  BufferSwap& operator=(const BufferSwap&) = delete;

 private:
  std::ostream& stream_;
  std::unique_ptr<std::streambuf> buffer_;
  std::streambuf* before_ = nullptr;
};

}  // namespace

struct ConsoleText::Streams {
  BufferSwap out{std::cout, ConsoleBuffer(StandardStream::kOutput)};
  BufferSwap err{std::cerr, ConsoleBuffer(StandardStream::kError)};
};

ConsoleText::ConsoleText() : streams_(std::make_unique<Streams>()) {}
ConsoleText::~ConsoleText() = default;

}  // namespace tesqua
