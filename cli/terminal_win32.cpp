#include <windows.h>

#include <iostream>

#include "cli/output.h"
#include "cli/terminal.h"
#include "platform/win32/console_output.h"

namespace tesqua {

// Not _isatty, which takes the NUL device for a terminal.
bool StderrIsTerminal() {
  return IsConsole(StandardStream::kError);
}

bool StdinIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::unique_ptr<ReportingBuffer> StandardOutputBuffer() {
  std::unique_ptr<ReportingBuffer> console = ConsoleBuffer(StandardStream::kOutput);
  if (console) return console;
  return std::make_unique<CrLfBuffer>(FileBuffer(StandardStream::kOutput));
}

struct ConsoleText::Streams {
  BufferSwap out{std::cout, StandardOutputBuffer()};
  BufferSwap err{std::cerr, ConsoleBuffer(StandardStream::kError)};
};

ConsoleText::ConsoleText() : streams_(std::make_unique<Streams>()) {}
ConsoleText::~ConsoleText() = default;

}  // namespace tesqua
