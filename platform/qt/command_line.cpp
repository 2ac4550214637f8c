#include "platform/qt/command_line.h"

#include <cstdio>
#include <string_view>

#include "platform/qt/config_folder.h"
#include "tesqua_version.h"

namespace tesqua {
namespace {

constexpr char kUsage[] =
    "Usage: tesqua [--config-folder]\n"
    "       tesqua --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Shows a small window that watches the clipboard: each time a formula is copied, it\n"
    "tells which future functions of the signature library code.ini the formula uses, or\n"
    "that none was found. Starting it empties the clipboard.\n"
    "\n"
    "code.ini is kept in the current folder, written with the default entries when\n"
    "missing; the window's label 点此编辑未来函数特征库 opens it in a text editor. Started\n"
    "from the desktop menu (with --config-folder), Tesqua works in ~/.config/tesqua/.\n"
    "\n"
    "  --config-folder  work in $XDG_CONFIG_HOME/tesqua/ (usually ~/.config/tesqua/),\n"
    "                   made when missing; a code.ini that an earlier version left in the\n"
    "                   home folder is moved there first, unless the folder has one\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "The window needs a desktop session: X11, or XWayland on Wayland.\n"
    "Exit status: 0 once the window is closed, 1 without a desktop session, 2 bad usage.\n";

}  // namespace

std::optional<int> FollowCommandLine(int argc, const char* const* argv) {
  bool help = false, version = false, config_folder = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (argument == "--config-folder") {
      config_folder = true;
    } else {
      std::fprintf(stderr, "tesqua: %s %s\n%sTry 'tesqua --help' for more.\n",
                   argument.starts_with('-') ? "unknown option" : "unexpected argument", argv[i],
                   kUsage);
      return 2;
    }
  }
  if (help) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (version) {
    std::fputs("tesqua " TESQUA_VERSION "\n", stdout);
    return 0;
  }
  if (config_folder) EnterConfigFolder();
  return std::nullopt;
}

}  // namespace tesqua
