// Many files at once: the paths named, folders walked with -r, files scanned on every core
// while the walk goes on, and reported in the order they were named and found.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/options.h"

namespace tesqua {

struct BatchInput {
  std::string label;                        // the path as printed, UTF-8
  std::filesystem::path::string_type file;  // the path as the system spells it
  bool standard_input = false;
  std::string error;     // set when the path could not even be looked at
  bool regular = false;  // known to be a plain file
};

// Takes each file to scan as it is found.
using InputSink = std::function<void(BatchInput)>;

// The files to scan, in order, each handed to sink as it is found: each path as named, a
// folder's files (with -r) sorted by name, subfolders walked where they come, symbolic links to
// folders not followed, the library itself left out; then the paths that --files-from lists
// (from in for "-").
void CollectInputs(const ScanOptions& options, const std::filesystem::path& library_file,
                   std::istream& in, const InputSink& sink);

// When the progress line on a terminal first shows, and how often it is drawn again.
struct ProgressPace {
  std::chrono::milliseconds delay{500};
  std::chrono::milliseconds interval{100};
};

// Scans the inputs that CollectInputs finds, as it finds them, and prints a line per file and
// the summary; returns the exit status. threads: how many scan at once, 0 for one per core and
// one more; window_slots: how many files may be found and not yet printed, enough to keep
// every core busy while a slow file holds the printing up, and memory bounded whatever the
// number of files. The output is the same for any number of either.
int RunBatch(const ScanOptions& options, const std::vector<std::u16string>& entries,
             const std::filesystem::path& library_file, std::istream& in, std::ostream& out,
             std::ostream& err, bool show_progress, std::size_t threads = 0, ProgressPace pace = {},
             std::size_t window_slots = 1024);

}  // namespace tesqua
