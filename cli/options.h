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
    "       tesqua-scan [--library FILE] [--json | -l] [-r] [--ext LIST] [PATH...]\n";

struct ScanOptions {
  std::optional<std::filesystem::path> library;
  std::vector<std::string> inputs;  // "-" is standard input
  bool json = false;
  bool files_with_hits = false;  // -l: only the names of the files with hits
  bool recursive = false;
  // -r without a path: the current folder, its files named relative to it.
  bool current_folder = false;
  // File name extensions, lower case without the dot, that a folder's files need to be
  // scanned; empty: every file.
  std::set<std::string> extensions = {"txt", "tn6", "fnc", "ini"};
  bool help = false;
  bool version = false;

  // The form the window's verdict is printed in: one text, no batch options.
  bool SingleInput() const { return inputs.size() <= 1 && !json && !files_with_hits && !recursive; }
};

// Writes what is wrong to err and returns nothing when the arguments make no sense.
std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args,
                                            std::ostream& err);

// The extensions of --ext: "txt,.TN6" and the like; "*" for every file (an empty set);
// nothing for a list that names no extension ("", ",").
std::optional<std::set<std::string>> ParseExtensions(std::string_view list);

void PrintHelp(std::ostream& out);

}  // namespace tesqua
