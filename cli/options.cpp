#include "cli/options.h"

#include <algorithm>
#include <ostream>

namespace tesqua {

std::set<std::string> ParseExtensions(std::string_view list) {
  std::set<std::string> extensions;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (item == "*") return {};
    if (!item.empty() && item.front() == '.') item.remove_prefix(1);
    if (item.empty()) continue;
    std::string lower(item);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    extensions.insert(lower);
  }
  return extensions;
}

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args,
                                            std::ostream& err) {
  ScanOptions options;
  bool only_paths = false;  // after "--"
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool is_option = !only_paths && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      options.inputs.push_back(arg);
    } else if (arg == "--") {
      only_paths = true;
    } else if (arg == "--library" || arg == "--ext") {
      if (i + 1 == args.size()) {
        err << "tesqua-scan: " << arg << " needs a value\n" << kUsage;
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--library") {
        options.library = std::filesystem::u8path(value);
      } else {
        options.extensions = ParseExtensions(value);
      }
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--recursive") {
      options.recursive = true;
    } else if (arg == "--files-with-hits") {
      options.files_with_hits = true;
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg[1] != '-' && arg.find_first_not_of("rlh", 1) == std::string::npos) {
      // Short options, alone or together: -r, -l, -rl.
      for (const char letter : arg.substr(1)) {
        if (letter == 'r') options.recursive = true;
        if (letter == 'l') options.files_with_hits = true;
        if (letter == 'h') options.help = true;
      }
    } else {
      err << "tesqua-scan: unknown option " << arg << "\n" << kUsage;
      return std::nullopt;
    }
  }
  if (options.json && options.files_with_hits) {
    err << "tesqua-scan: --json and -l do not go together\n" << kUsage;
    return std::nullopt;
  }
  // As grep -r does: no path is the current folder, not standard input.
  if (options.recursive && options.inputs.empty()) {
    options.inputs.push_back(".");
    options.current_folder = true;
  }
  if (std::count(options.inputs.begin(), options.inputs.end(), "-") > 1) {
    err << "tesqua-scan: standard input can be read only once\n" << kUsage;
    return std::nullopt;
  }
  return options;
}

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "\n"
         "Searches formulas for the entries of the signature library (code.ini in the\n"
         "current directory, written with the default entries when missing).\n"
         "\n"
         "With one FILE or standard input, prints the verdict the window shows.\n"
         "With several paths, --json, -l or -r, prints one line per file:\n"
         "  PATH: ZIG, DVOL              the entries found, in library order\n"
         "  PATH: 没有发现未来函数！      nothing found\n"
         "and a summary line at the end.\n"
         "\n"
         "  --library FILE  the signature library to use (never written)\n"
         "  --json          one JSON object per file, each hit with the line and column\n"
         "                  of its first occurrence, and a summary object at the end\n"
         "  -l, --files-with-hits\n"
         "                  print only the names of the files with hits, one per line,\n"
         "                  and no summary\n"
         "  -r, --recursive scan folders and their subfolders (without -r a folder is an\n"
         "                  error); with no PATH, the current folder\n"
         "  --ext LIST      the extensions of the files scanned in folders, comma-separated\n"
         "                  (default: txt,tn6,fnc,ini; \"*\" for every file); files named on\n"
         "                  the command line are always scanned\n"
         "  -h, --help      this text\n"
         "  --version       the version\n"
         "\n"
         "Files may be GBK, UTF-8, or UTF-16 with a byte-order mark. A file whose first\n"
         "8 KB hold a NUL or another control character that text does not have (and no\n"
         "UTF-16 mark) is binary or encrypted: it cannot be checked, gets no verdict and\n"
         "makes the status 2; open it in the charting program and copy the formula text.\n"
         "Exit status: 0 nothing found, 1 found, 2 bad usage, a file that could not be\n"
         "read or checked (the other files are still scanned) or a failed write (the run\n"
         "ends there), 3 no verdict (an empty library).\n";
}

}  // namespace tesqua
