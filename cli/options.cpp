#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <ostream>

#include "cli/folder_listing.h"

namespace tesqua {

std::optional<std::set<std::string>> ParseExtensions(std::string_view list) {
  std::set<std::string> extensions;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (item == "*") return std::set<std::string>();
    if (!item.empty() && item.front() == '.') item.remove_prefix(1);
    if (item.empty()) continue;
    std::string lower(item);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    extensions.insert(lower);
  }
  if (extensions.empty()) return std::nullopt;
  return extensions;
}

namespace {

// The one-letter options, ':' first: a missing value is told apart from an unknown option.
constexpr std::string_view kShortOptions = ":rlLqs0h";

// What getopt_long left in optopt: a letter that is no option, 0 for an unknown long option
// (the last argument it read), or the option that was given a value it does not take.
std::string UnknownOption(const std::string& last, int letter) {
  if (letter > 0 && letter < 256 && kShortOptions.find(char(letter), 1) == std::string::npos) {
    return std::string("unknown option -") + char(letter);
  }
  const std::size_t equals = last.find('=');
  if (letter != 0 && last.starts_with("--") && equals != std::string::npos) {
    return last.substr(0, equals) + " takes no value";
  }
  return "unknown option " + last;
}

}  // namespace

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args,
                                            std::ostream& err) {
  enum LongOnly { kLibrary = 256, kExt, kJson, kVersion, kFilesFrom, kExclude, kInclude };
  static const option kOptions[] = {
      {"library", required_argument, nullptr, kLibrary},
      {"ext", required_argument, nullptr, kExt},
      {"json", no_argument, nullptr, kJson},
      {"files-with-hits", no_argument, nullptr, 'l'},
      {"files-without-hits", no_argument, nullptr, 'L'},
      {"quiet", no_argument, nullptr, 'q'},
      {"no-messages", no_argument, nullptr, 's'},
      {"null", no_argument, nullptr, '0'},
      {"files-from", required_argument, nullptr, kFilesFrom},
      {"exclude", required_argument, nullptr, kExclude},
      {"include", required_argument, nullptr, kInclude},
      {"recursive", no_argument, nullptr, 'r'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0},
  };
  // getopt_long takes the C form and moves the paths behind the options, as it does for
  // every GNU tool: "f -r" is "-r f".
  std::vector<std::string> copies = args;
  std::vector<char*> argv = {const_cast<char*>("tesqua-scan")};
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = int(argv.size() - 1);
  const auto usage_error = [&err](const std::string& what) {
    err << "tesqua-scan: " << what << "\n" << kUsage;
    return std::nullopt;
  };
  ScanOptions options;
  optind = 0;  // starts over on a new argument list
  opterr = 0;  // its messages are ours, on err
  for (int letter;
       (letter = getopt_long(argc, argv.data(), kShortOptions.data(), kOptions, nullptr)) != -1;) {
    switch (letter) {
      case kLibrary:
        options.library = std::filesystem::u8path(optarg);
        break;
      case kExt:
        if (std::optional<std::set<std::string>> extensions = ParseExtensions(optarg)) {
          options.extensions = std::move(*extensions);
          options.extensions_given = true;
        } else {  // not "every file": that is "*"
          return usage_error(std::string("--ext names no extension: \"") + optarg + "\"");
        }
        break;
      case kJson:
        options.json = true;
        break;
      case 'l':
        options.files_with_hits = true;
        break;
      case 'L':
        options.files_without_hits = true;
        break;
      case 'q':
        options.quiet = true;
        break;
      case 's':
        options.no_messages = true;
        break;
      case '0':
        options.null_names = true;
        break;
      case kFilesFrom:
        options.files_from = optarg;
        break;
      case kExclude:
        options.excludes.push_back(optarg);
        break;
      case kInclude:
        options.includes.push_back(optarg);
        break;
      case 'r':
        options.recursive = true;
        break;
      case 'h':
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
      case ':':
        return usage_error(std::string(argv[optind - 1]) + " needs a value");
      default:  // '?': unknown, or a value given to an option that takes none
        return usage_error(UnknownOption(argv[optind - 1], optopt));
    }
  }
  for (const char* const* input = argv.data() + optind; *input != nullptr; ++input) {
    std::vector<std::string> matches;
    if (std::string_view(*input) == "-" || !ExpandWildcards(*input, matches)) {
      options.inputs.push_back(*input);
    } else if (matches.empty()) {
      options.inputs.push_back(*input);
      options.unmatched.insert(*input);
    } else {
      options.inputs.insert(options.inputs.end(), matches.begin(), matches.end());
    }
  }
  if (int(options.json) + int(options.files_with_hits) + int(options.files_without_hits) > 1) {
    return usage_error("--json, -l and -L do not go together");
  }
  // As grep -r does: no path is the current folder, not standard input.
  if (options.recursive && options.inputs.empty() && !options.files_from) {
    options.inputs.push_back(".");
    options.current_folder = true;
  }
  if (std::count(options.inputs.begin(), options.inputs.end(), "-") +
          (options.files_from == "-" ? 1 : 0) >
      1) {
    return usage_error("standard input can be read only once");
  }
  return options;
}

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "\n"
         "Searches formulas for the entries of the signature library (code.ini in the\n"
         "current directory, written with the default entries when missing).\n"
         "\n"
         "With one FILE or standard input, prints the verdict the window shows. With no\n"
         "PATH at a terminal, says so and reads the formula typed (end it with Ctrl+D;\n"
         "on Windows Ctrl+Z, then Enter).\n"
         "\n"
         "With several paths, --files-from, --json, -l, -L or -r, prints one line per\n"
         "file, \"PATH: ZIG, DVOL\" (the entries found, in library order) or\n"
         "\"PATH: 没有发现未来函数！\" (nothing found), and a summary line at the end.\n"
         "\n"
         "Options:\n"
         "  --library=FILE            the signature library to use (never written)\n"
         "  -r, --recursive           scan folders and their subfolders (without -r a\n"
         "                            folder is an error); with no PATH, the current\n"
         "                            folder\n"
         "  --ext=LIST                the extensions of the files scanned in folders,\n"
         "                            comma-separated (default: txt,tn6,fnc,ini; \"*\" for\n"
         "                            every file); files named on the command line are\n"
         "                            always scanned, a folder's code.ini never\n"
         "  --include=GLOB            take only a folder's files whose names match GLOB\n"
         "                            (any of them, if given more than once), in place of\n"
         "                            the default --ext list\n"
         "  --exclude=GLOB            leave out a folder's files whose names match GLOB\n"
         "  --files-from=FILE         scan the paths listed in FILE (\"-\": standard\n"
         "                            input), one per line, after those on the command\n"
         "                            line, in one batch\n"
         "  --json                    one JSON object per file, each hit with the line\n"
         "                            and column of its first occurrence, and a summary\n"
         "                            object at the end; a path that is not UTF-8 is\n"
         "                            {\"bytes\":\"BASE64\"}\n"
         "  -l, --files-with-hits     print only the names of the files with hits, no\n"
         "                            summary\n"
         "  -L, --files-without-hits  print only the names of the files checked and found\n"
         "                            clean (never those not read or checked), no summary\n"
         "  -0, --null                end the names of -l and -L with NUL, not a newline;\n"
         "                            the list of --files-from is then NUL-separated\n"
         "  -q, --quiet               print nothing; stop at the first file with hits\n"
         "                            (status 1)\n"
         "  -s, --no-messages         say nothing about files that could not be read or\n"
         "                            checked (the exit status still tells)\n"
         "  -h, --help                this text\n"
         "  --version                 the version\n"
         "\n"
         "A value follows its option after \"=\" or a space (--ext txt); options may come\n"
         "after the paths, and \"--\" ends them. On Windows, \"*\" and \"?\" in the last\n"
         "part of a PATH are expanded, and output to a file or a pipe ends its lines\n"
         "with CR LF.\n"
         "\n"
         "Files may be GBK, UTF-8, or UTF-16 with a byte-order mark. A file whose first\n"
         "8 KB hold a NUL or another control character that text does not have (and no\n"
         "UTF-16 mark) is binary or encrypted: it cannot be checked, gets no verdict and\n"
         "makes the status 2; open it in the charting program and copy the formula text.\n"
         "\n"
         "Exit status: 0 nothing found, 1 found, 2 bad usage, a file that could not be\n"
         "read or checked (the other files are still scanned) or a failed write (the run\n"
         "ends there), 3 no verdict (an empty library).\n";
}

}  // namespace tesqua
