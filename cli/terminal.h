// What the scanner needs to know about its console; one file per system implements it.
#pragma once

#include <memory>

namespace tesqua {

// Whether standard error is a terminal that a person watches.
bool StderrIsTerminal();

// Whether standard input is typed at a terminal (a console on Windows).
bool StdinIsTerminal();

// While it lives, standard output goes to the system through a buffer that keeps the reason
// for a refused write (see output.h), and standard output and standard error that are consoles
// show the program's UTF-8 as text, whatever the console's code page; redirected, they get the
// UTF-8 bytes.
class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  struct Streams;
  std::unique_ptr<Streams> streams_;
};

}  // namespace tesqua
