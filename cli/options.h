// The command line of tesqua-scan.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tesqua {

inline constexpr std::string_view kUsage =
    "Usage: tesqua-scan [--library FILE] [FILE]\n"
    "  or:  tesqua-scan [OPTION...] [PATH...]\n";

struct ScanOptions {
  std::optional<std::filesystem::path> library;
  std::vector<std::string> inputs;  // "-" is standard input
  std::set<std::string> unmatched;  // wildcards that matched nothing (Windows), kept in inputs
  bool json = false;
  bool files_with_hits = false;           // -l: only the names of the files with hits
  bool files_without_hits = false;        // -L: only the names of the clean files
  bool quiet = false;                     // -q: the exit status alone, at the first hit
  bool no_messages = false;               // -s: nothing said about files not read or checked
  bool null_names = false;                // -0: names ended by NUL, lists NUL-separated
  std::optional<std::string> files_from;  // a list of paths to scan, "-" standard input
  // Globs for the names of a folder's files: the excluded, and the only ones taken.
  std::vector<std::string> excludes, includes;
  bool recursive = false;
  // -r without a path: the current folder, its files named relative to it.
  bool current_folder = false;
  // File name extensions, lower case without the dot, that a folder's files need to be
  // scanned; empty: every file.
  std::set<std::string> extensions = {"txt", "tn6", "fnc", "ini"};
  bool extensions_given = false;  // --ext: with --include, both must match
  bool help = false;
  bool version = false;

  // The form the window's verdict is printed in: one text, no batch options.
  bool SingleInput() const {
    return inputs.size() <= 1 && !json && !files_with_hits && !files_without_hits && !recursive &&
           !files_from;
  }
  // What ends a name in the lists of -l and -L.
  char NameEnd() const { return null_names ? '\0' : '\n'; }
};

// Writes what is wrong to err and returns nothing when the arguments make no sense.
std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args,
                                            std::ostream& err);

// The extensions of --ext: "txt,.TN6" and the like; "*" for every file (an empty set);
// nothing for a list that names no extension ("", ",").
std::optional<std::set<std::string>> ParseExtensions(std::string_view list);

void PrintHelp(std::ostream& out);

}  // namespace tesqua
