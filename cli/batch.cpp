#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <thread>

#include "cli/file_scan.h"
#include "cli/folder_listing.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/scan_command.h"
#include "scan/library.h"
#include "scan/scan.h"

namespace tesqua {
namespace {

namespace fs = std::filesystem;

std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Whether a file name has one of the extensions, compared in lower case; the extension is
// where the path library finds it.
bool HasExtension(const std::string& name, const std::set<std::string>& extensions) {
  const std::size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return extensions.contains(extension);
}

// Which of a folder's files are scanned: --ext, --include and --exclude.
class NameFilter {
 public:
  explicit NameFilter(const ScanOptions& options)
      : extensions_(options.includes.empty() || options.extensions_given ? options.extensions
                                                                         : std::set<std::string>()),
        includes_(Native(options.includes)),
        excludes_(Native(options.excludes)) {}

  bool Takes(const FolderEntry& entry) const {
    if (!extensions_.empty() && !HasExtension(entry.utf8_name, extensions_)) return false;
    const auto matches = [&entry](const fs::path::string_type& glob) {
      return GlobMatches(glob, entry.name);
    };
    if (!includes_.empty() && std::none_of(includes_.begin(), includes_.end(), matches)) {
      return false;
    }
    return std::none_of(excludes_.begin(), excludes_.end(), matches);
  }

 private:
  static std::vector<fs::path::string_type> Native(const std::vector<std::string>& globs) {
    std::vector<fs::path::string_type> native;
    for (const std::string& glob : globs) native.push_back(fs::u8path(glob).native());
    return native;
  }

  std::set<std::string> extensions_;  // empty: any
  std::vector<fs::path::string_type> includes_, excludes_;
};

void Walk(const fs::path& folder, const NameFilter& filter, const fs::path& library_file,
          std::vector<BatchInput>& inputs) {
  // An empty folder path is the current folder, whose files are named without "./".
  const fs::path listed = folder.empty() ? fs::path(".") : folder;
  std::vector<FolderEntry> entries;
  std::string error;
  if (!ListFolder(listed, entries, error)) {
    inputs.push_back(
        {Utf8Path(listed), listed.native(), false, "cannot list the folder: " + error});
    return;
  }
  // By name as the system spells it: all share the folder, so this is the order of their paths.
  // Pointers are sorted, not the entries: each move of an entry moves two strings.
  std::vector<const FolderEntry*> sorted(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) sorted[i] = &entries[i];
  std::sort(sorted.begin(), sorted.end(),
            [](const FolderEntry* a, const FolderEntry* b) { return a->name < b->name; });
  // Room for the folder's files at once: each new page costs, and copies of inputs more so.
  const std::size_t needed = inputs.size() + entries.size();
  if (inputs.capacity() < needed) inputs.reserve(std::max(needed, inputs.capacity() * 2));
  // The folder as the path library joins it to a name, worked out once for all its entries.
  fs::path::string_type prefix = (folder / "-").native();
  prefix.pop_back();
  std::string label_prefix = Utf8Path(folder / "-");
  label_prefix.pop_back();
  const fs::path::string_type library_name = library_file.filename().native();
  static const fs::path::string_type library_file_name = fs::path(kLibraryFileName).native();
  for (const FolderEntry* entry : sorted) {
    if (entry->kind == FolderEntry::Kind::kFolder) {
      Walk(prefix + entry->name, filter, library_file, inputs);
      continue;
    }
    if (entry->kind != FolderEntry::Kind::kFile || !filter.Takes(*entry)) continue;
    // Another folder's code.ini is another library, not a formula.
    if (SameFileName(entry->name, library_file_name)) continue;
    fs::path::string_type file = prefix + entry->name;
    std::error_code status_error;
    if (entry->name == library_name && fs::equivalent(file, library_file, status_error)) continue;
    inputs.push_back({label_prefix + entry->utf8_name, std::move(file), false, "", true});
  }
}

// Where threads wait for flags that others set. Not std::atomic::wait: where the system has no
// futex (Windows), libstdc++ 12 waits on a condition variable whose mutex the notifier never
// takes, so a wake-up can be lost and the batch hang for good. A ring costs a lock only when
// someone waits.
class Doorbell {
 public:
  template <typename Done>
  void WaitUntil(Done done) {
    std::unique_lock<std::mutex> lock(mutex_);
    waiters_.fetch_add(1);
    std::atomic_thread_fence(std::memory_order_seq_cst);  // pairs with the fence in Ring
    condition_.wait(lock, done);
    waiters_.fetch_sub(1);
  }
  // After the flag is set: either the waiter sees the flag, or this sees the waiter.
  void Ring() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (waiters_.load() == 0) return;
    { const std::lock_guard<std::mutex> lock(mutex_); }  // the waiter is waiting, or sees the flag
    condition_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  std::atomic<int> waiters_{0};
};

// Results come in any order from the threads and go out in the inputs' order. A result is
// published by its flag alone: no lock and no wake-up per file, which would cost more than the
// scan of a small file. A slot is first written when its result arrives, so that its memory is
// first touched (and paid for) by the threads as they scan, not by this one before they can.
class ResultSlots {
 public:
  explicit ResultSlots(std::size_t count)
      : count_(count), scans_(std::allocator<FileScan>().allocate(count)), ready_(count) {}
  ~ResultSlots() {
    for (std::size_t index = 0; index < count_; ++index) {
      if (Ready(index)) std::destroy_at(scans_ + index);
    }
    std::allocator<FileScan>().deallocate(scans_, count_);
  }
  ResultSlots(const ResultSlots&) = delete;
  ResultSlots& operator=(const ResultSlots&) = delete;

  void Put(std::size_t index, FileScan scan) {
    std::construct_at(scans_ + index, std::move(scan));
    ready_[index].store(true, std::memory_order_release);
    bell_.Ring();
  }
  bool Ready(std::size_t index) const { return ready_[index].load(std::memory_order_acquire); }
  void Wait(std::size_t index) {
    bell_.WaitUntil([&] { return Ready(index); });
  }
  FileScan& At(std::size_t index) { return scans_[index]; }

 private:
  std::size_t count_;
  FileScan* scans_;
  std::vector<std::atomic<bool>> ready_;
  Doorbell bell_;
};

// Standard output and standard error may be the same terminal: the progress line is cleared
// before anything else is printed, and what standard output holds goes out before it is drawn.
class Progress {
 public:
  Progress(std::ostream& out, std::ostream& err, bool enabled, std::size_t total, ProgressPace pace)
      : out_(out), err_(err), enabled_(enabled), total_(total), pace_(pace), start_(Clock::now()) {}
  void Show(std::size_t done, std::uint64_t bytes) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < pace_.delay || now - last_ < pace_.interval) return;
    last_ = now;
    char line[96];
    std::snprintf(line, sizeof line, "\r%zu/%zu files, %llu MB ", done, total_,
                  static_cast<unsigned long long>(bytes >> 20));
    out_.flush();
    err_ << line << std::flush;
    shown_ = true;
  }
  void Clear() {
    if (shown_) err_ << '\r' << std::string(40, ' ') << '\r' << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  std::ostream& err_;
  bool enabled_;
  std::size_t total_;
  ProgressPace pace_;
  Clock::time_point start_;
  Clock::time_point last_{};
  bool shown_ = false;
};

FileScan ScanInput(const BatchInput& input, std::istream& standard_input, FileScanner& scanner) {
  if (!input.error.empty()) {
    FileScan scan;
    scan.outcome = FileScan::Outcome::kUnreadable;
    scan.error = input.error;
    return scan;
  }
  try {
    if (input.standard_input) return scanner.ScanStream(standard_input);
    return scanner.Scan(input.file.c_str(), input.regular);
  } catch (const std::exception& failure) {
    FileScan scan;
    scan.outcome = FileScan::Outcome::kUnreadable;
    scan.error = failure.what();
    return scan;
  }
}

// The paths listed in a file (or standard input, "-"), one per line or ended by NUL, each
// handed to add as a path named on the command line; empty lines are none.
template <typename Add>
void ReadFileList(const std::string& list_name, char end, std::istream& in,
                  std::vector<BatchInput>& inputs, Add add) {
  std::ifstream file;
  if (list_name != "-") {
    file.open(fs::u8path(list_name), std::ios::binary);
    if (!file) {
      inputs.push_back({list_name, fs::u8path(list_name).native(), false,
                        "cannot read the list of files: " + std::string(std::strerror(errno))});
      return;
    }
  }
  std::istream& list = list_name == "-" ? in : file;
  for (std::string name; std::getline(list, name, end);) {
#ifdef _WIN32
    if (end == '\n' && name.ends_with('\r')) name.pop_back();  // a list written on Windows
#endif
    if (!name.empty()) add(name);
  }
}

}  // namespace

std::vector<BatchInput> CollectInputs(const ScanOptions& options, const fs::path& library_file,
                                      std::istream& in) {
  std::vector<BatchInput> inputs;
  const NameFilter filter(options);
  const auto add = [&](const std::string& name) {
    if (name == "-") {
      inputs.push_back({"-", {}, true, ""});
      return;
    }
    const fs::path path = fs::u8path(name);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (options.unmatched.contains(name)) {
      inputs.push_back({name, path.native(), false, std::string(kNoMatch)});
    } else if (error) {
      inputs.push_back({name, path.native(), false, error.message()});
    } else if (fs::is_directory(status)) {
      if (options.recursive) {
        Walk(options.current_folder ? fs::path() : path, filter, library_file, inputs);
      } else {
        inputs.push_back({name, path.native(), false, "is a folder (use -r)"});
      }
    } else {
      inputs.push_back({name, path.native(), false, "", fs::is_regular_file(status)});
    }
  };
  for (const std::string& name : options.inputs) add(name);
  if (options.files_from) ReadFileList(*options.files_from, options.NameEnd(), in, inputs, add);
  return inputs;
}

int RunBatch(const ScanOptions& options, const std::vector<std::u16string>& entries,
             const fs::path& library_file, std::istream& in, std::ostream& out, std::ostream& err,
             bool show_progress, std::size_t threads, ProgressPace pace) {
  const Matcher matcher(SearchKeys(entries));
  ByteCounter bytes_read{0};
  std::atomic<bool> stop{false};  // output failed: no scan is wanted any more
  const ScanSettings settings{options.json, &bytes_read, &stop};

  // Set by this thread before ready, read by every thread after.
  std::vector<BatchInput> inputs;
  std::optional<ResultSlots> results;
  std::atomic<bool> ready{false};
  Doorbell start;
  std::atomic<std::size_t> next{0};
  const auto scan_next = [&](FileScanner& scanner) {
    if (stop.load(std::memory_order_relaxed)) return false;
    const std::size_t index = next++;
    if (index >= inputs.size()) return false;
    results->Put(index, ScanInput(inputs[index], in, scanner));
    return true;
  };
  // The workers start before the folders are listed, so that their start and their first
  // touches of memory (buffers, the decoders' tables), which cost about as much as the
  // listing, happen alongside it. This thread scans too, and prints whatever is ready in
  // order between its own files. One thread more than there are cores: the system often
  // starts a new thread on the core of the thread that started it and moves it only
  // milliseconds later, and one spare keeps every core busy meanwhile (measured: 2 cores, 3
  // threads, a fifth less time than 2 threads).
  if (threads == 0) {
    threads = std::min<std::size_t>(std::max(std::thread::hardware_concurrency(), 1u), 8) + 1;
  }
  std::vector<std::thread> workers;
  for (std::size_t w = 1; w < threads; ++w) {
    workers.emplace_back([&] {
      FileScanner scanner(matcher, settings);
      scanner.ScanBytes({});
      start.WaitUntil([&] { return ready.load(std::memory_order_acquire); });
      while (scan_next(scanner)) {
      }
    });
  }
  const auto release_workers = [&] {
    ready.store(true, std::memory_order_release);
    start.Ring();
  };
  try {
    inputs = CollectInputs(options, library_file, in);
    results.emplace(inputs.size());
  } catch (...) {
    inputs.clear();
    release_workers();
    for (std::thread& worker : workers) worker.join();
    throw;
  }
  release_workers();
  FileScanner scanner(matcher, settings);

  BatchTotals totals;
  Progress progress(out, err, show_progress, inputs.size(), pace);
  std::size_t printed = 0;
  bool found = false;  // with -q, the first file with hits ends the batch
  const auto print_ready = [&] {
    for (; printed < inputs.size() && results->Ready(printed) && !found; ++printed) {
      const BatchInput& input = inputs[printed];
      const FileScan& scan = results->At(printed);
      progress.Clear();
      bool hits = false;
      switch (scan.outcome) {
        case FileScan::Outcome::kUnreadable:
          ++totals.unreadable;
          if (!options.no_messages)
            err << "tesqua-scan: " << input.label << ": " << scan.error << "\n";
          break;
        case FileScan::Outcome::kBinary:
          ++totals.skipped;
          if (!options.no_messages)
            err << "tesqua-scan: " << input.label << ": " << kCannotCheck << "\n";
          break;
        case FileScan::Outcome::kScanned:
          ++totals.scanned;
          hits = std::any_of(scan.first_positions.begin(), scan.first_positions.end(),
                             [](std::uint64_t at) { return at != kNotFound; });
          totals.with_hits += hits ? 1 : 0;
          break;
      }
      const bool clean = scan.outcome == FileScan::Outcome::kScanned && !hits;
      if (options.quiet) {
        found = hits;
      } else if (options.json) {
        out << JsonLine(input.label, entries, scan);
      } else if (options.files_with_hits || options.files_without_hits) {
        if (options.files_with_hits ? hits : clean) out << input.label << options.NameEnd();
      } else if (scan.outcome == FileScan::Outcome::kScanned) {
        out << TextLine(input.label, entries, scan);
      }
      CheckWritten(out);
      results->At(printed) = FileScan{};  // printed: its memory goes
    }
    progress.Show(printed, bytes_read);
  };
  try {
    while (!found && scan_next(scanner)) print_ready();
    while (!found && printed < inputs.size()) {
      if (!results->Ready(printed)) {
        if (show_progress) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else {
          results->Wait(printed);
        }
      }
      print_ready();
    }
  } catch (...) {  // a refused write: the scans still running stop at their next read
    stop.store(true);
    for (std::thread& worker : workers) worker.join();
    throw;
  }
  stop.store(found);  // -q: the files after the first hit are not wanted
  for (std::thread& worker : workers) worker.join();
  progress.Clear();
  if (found) return kExitFound;
  // -l and -L print names to be read by other programs: a summary would be one more name.
  if (options.quiet) {
  } else if (options.json) {
    out << JsonSummary(totals);
  } else if (!options.files_with_hits && !options.files_without_hits) {
    out << TextSummary(totals);
  }
  out << std::flush;
  CheckWritten(out);
  // A file that was asked for and not checked may hold anything: never "nothing found".
  if (totals.unreadable > 0 || totals.skipped > 0) return kExitError;
  return totals.with_hits > 0 ? kExitFound : kExitNoneFound;
}

}  // namespace tesqua
