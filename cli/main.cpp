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
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const tesqua::ConsoleText console_text;
  return tesqua::RunScanCommand(args, std::cin, std::cout, std::cerr, tesqua::StderrIsTerminal(),
                                tesqua::StdinIsTerminal());
}
#endif
