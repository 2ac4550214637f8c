#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/scan_command.h"
#include "cli/terminal.h"
#include "scan/text_encoding.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

// Arguments arrive as UTF-16 and are passed on as UTF-8.
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::u16string wide(arg.begin(), arg.end());
    args.push_back(tesqua::EncodeUtf8(wide));
  }
  const tesqua::ConsoleText console_text;
  return tesqua::RunScanCommand(args, std::cin, std::cout, std::cerr, tesqua::StderrIsTerminal(),
                                tesqua::StdinIsTerminal());
}
#else
#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // A run is short: memory freed is kept for what is asked for next, not given back to the
  // system and faulted in again. A large library's build frees and takes several blocks of
  // about a megabyte, which malloc would otherwise map and unmap each time.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  const tesqua::ConsoleText console_text;
  return tesqua::RunScanCommand(args, std::cin, std::cout, std::cerr, tesqua::StderrIsTerminal(),
                                tesqua::StdinIsTerminal());
}
#endif
