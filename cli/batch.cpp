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
          const InputSink& add) {
  // An empty folder path is the current folder, whose files are named without "./".
  const fs::path listed = folder.empty() ? fs::path(".") : folder;
  std::vector<FolderEntry> entries;
  std::string error;
  if (!ListFolder(listed, entries, error)) {
    add({Utf8Path(listed), listed.native(), false, "cannot list the folder: " + error});
    return;
  }
  // By name as the system spells it: all share the folder, so this is the order of their paths.
  // Pointers are sorted, not the entries: each move of an entry moves two strings.
  std::vector<const FolderEntry*> sorted(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) sorted[i] = &entries[i];
  std::sort(sorted.begin(), sorted.end(),
            [](const FolderEntry* a, const FolderEntry* b) { return a->name < b->name; });
  // The folder as the path library joins it to a name, worked out once for all its entries.
  fs::path::string_type prefix = (folder / "-").native();
  prefix.pop_back();
  std::string label_prefix = Utf8Path(folder / "-");
  label_prefix.pop_back();
  const fs::path::string_type library_name = library_file.filename().native();
  static const fs::path::string_type library_file_name = fs::path(kLibraryFileName).native();
  for (const FolderEntry* entry : sorted) {
    if (entry->kind == FolderEntry::Kind::kFolder) {
      Walk(prefix + entry->name, filter, library_file, add);
      continue;
    }
    if (entry->kind != FolderEntry::Kind::kFile || !filter.Takes(*entry)) continue;
    // Another folder's code.ini is another library, not a formula.
    if (SameFileName(entry->name, library_file_name)) continue;
    fs::path::string_type file = prefix + entry->name;
    std::error_code status_error;
    if (entry->name == library_name && fs::equivalent(file, library_file, status_error)) continue;
    add({label_prefix + entry->utf8_name, std::move(file), false, "", true});
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

// Thrown through the walk when -q has its answer.
struct BatchAnswered {};

// The files between the walk that finds them and the printing of their results, in a ring of
// slots: memory stays the same however many files there are. The walk adds at the back, the
// scanners take from the middle, and results go out in order at the front; a slot is added to
// again once its result is printed. A result is published by its stamp alone: no lock and no
// wake-up per file, which would cost more than the scan of a small file.
class Window {
 public:
  explicit Window(std::size_t slots) : inputs_(slots), scans_(slots), stamps_(slots) {}

  std::size_t Slots() const { return inputs_.size(); }
  std::size_t Added() const { return added_.load(std::memory_order_acquire); }

  // The walk's side: the slot of the next file, then Add once it is filled in.
  BatchInput& Next() { return inputs_[added_.load(std::memory_order_relaxed) % Slots()]; }
  // Scanners that wait are woken for every few files, not each: a wake-up costs more than the
  // scan of a small file. The walk's own waits, and its end, wake them too (Wake).
  void Add() {
    const std::size_t added = added_.load(std::memory_order_relaxed) + 1;
    added_.store(added, std::memory_order_release);
    if (added % kFilesPerWake == 0) work_.Ring();
  }
  void Wake() { work_.Ring(); }
  // No more files, or (stop) none wanted any more.
  void Finish() {
    finished_.store(true, std::memory_order_release);
    work_.Ring();
  }

  // The scanners' side: the index of a file to scan, or none when every file is taken and the
  // walk has finished. Without wait, none also while the walk is still looking.
  std::optional<std::size_t> Take(bool wait) {
    std::size_t index = next_.load();
    while (true) {
      const bool finished = finished_.load(std::memory_order_acquire);
      if (index < Added()) {
        if (next_.compare_exchange_weak(index, index + 1)) return index;
      } else if (finished || !wait) {
        return std::nullopt;
      } else {
        work_.WaitUntil([&] { return Added() > index || finished_.load(); });
        index = next_.load();
      }
    }
  }
  const BatchInput& InputAt(std::size_t index) const { return inputs_[index % Slots()]; }
  void Put(std::size_t index, FileScan scan) {
    scans_[index % Slots()] = std::move(scan);
    stamps_[index % Slots()].store(index + 1, std::memory_order_release);
    results_.Ring();
  }

  // The printer's side.
  bool Ready(std::size_t index) const {
    return stamps_[index % Slots()].load(std::memory_order_acquire) == index + 1;
  }
  void Wait(std::size_t index) {
    results_.WaitUntil([&] { return Ready(index); });
  }
  FileScan& ScanAt(std::size_t index) { return scans_[index % Slots()]; }

 private:
  std::vector<BatchInput> inputs_;
  std::vector<FileScan> scans_;
  std::vector<std::atomic<std::size_t>> stamps_;  // index + 1 of the result a slot holds
  std::atomic<std::size_t> added_{0}, next_{0};
  std::atomic<bool> finished_{false};
  Doorbell work_, results_;
  static constexpr std::size_t kFilesPerWake = 32;
};

// Standard output and standard error may be the same terminal: the progress line is cleared
// before anything else is printed, and what standard output holds goes out before it is drawn.
class Progress {
 public:
  Progress(std::ostream& out, std::ostream& err, bool enabled, ProgressPace pace)
      : out_(out), err_(err), enabled_(enabled), pace_(pace), start_(Clock::now()) {}
  // total: the files found so far.
  void Show(std::size_t done, std::size_t total, std::uint64_t bytes) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < pace_.delay || now - last_ < pace_.interval) return;
    last_ = now;
    char line[96];
    std::snprintf(line, sizeof line, "\r%zu/%zu files, %llu MB ", done, total,
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
void ReadFileList(const std::string& list_name, char end, std::istream& in, const InputSink& sink,
                  Add add) {
  std::ifstream file;
  if (list_name != "-") {
    file.open(fs::u8path(list_name), std::ios::binary);
    if (!file) {
      sink({list_name, fs::u8path(list_name).native(), false,
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

void CollectInputs(const ScanOptions& options, const fs::path& library_file, std::istream& in,
                   const InputSink& sink) {
  const NameFilter filter(options);
  const auto add = [&](const std::string& name) {
    if (name == "-") return sink({"-", {}, true, ""});
    const fs::path path = fs::u8path(name);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (options.unmatched.contains(name)) {
      sink({name, path.native(), false, std::string(kNoMatch)});
    } else if (error) {
      sink({name, path.native(), false, error.message()});
    } else if (!fs::is_directory(status)) {
      sink({name, path.native(), false, "", fs::is_regular_file(status)});
    } else if (options.recursive) {
      Walk(options.current_folder ? fs::path() : path, filter, library_file, sink);
    } else {
      sink({name, path.native(), false, "is a folder (use -r)"});
    }
  };
  for (const std::string& name : options.inputs) add(name);
  if (options.files_from) ReadFileList(*options.files_from, options.NameEnd(), in, sink, add);
}

int RunBatch(const ScanOptions& options, const std::vector<std::u16string>& entries,
             const fs::path& library_file, std::istream& in, std::ostream& out, std::ostream& err,
             bool show_progress, std::size_t threads, ProgressPace pace, std::size_t window_slots) {
  const Matcher matcher(SearchKeys(entries));
  ByteCounter bytes_read{0};
  std::atomic<bool> stop{false};  // no scan is wanted any more: a failed write, or -q's answer
  const ScanSettings settings{options.json, &bytes_read, &stop};
  Window window(window_slots);
  const auto scan_one = [&](FileScanner& scanner, bool wait) {
    if (stop.load(std::memory_order_relaxed)) return false;
    const std::optional<std::size_t> index = window.Take(wait);
    if (index) window.Put(*index, ScanInput(window.InputAt(*index), in, scanner));
    return index.has_value();
  };
  // The workers start before the folders are listed, so that their start and their first
  // touches of memory (buffers, the decoders' tables) happen alongside the listing, and they
  // scan the files as the walk finds them. This thread walks, prints whatever is ready in
  // order, and scans too when the window is full or the walk is over. One thread more than
  // there are cores: the system often starts a new thread on the core of the thread that
  // started it and moves it only milliseconds later, and one spare keeps every core busy
  // meanwhile (measured: 2 cores, 3 threads, a fifth less time than 2 threads).
  if (threads == 0) {
    // Where the system cannot tell its cores (0), this thread scans alone.
    threads = std::min(std::thread::hardware_concurrency(), 8u) + 1;
  }
  std::vector<std::thread> workers;
  for (std::size_t w = 1; w < threads; ++w) {
    workers.emplace_back([&] {
      FileScanner scanner(matcher, settings);
      scanner.ScanBytes({});
      while (scan_one(scanner, true)) {
      }
    });
  }
  FileScanner scanner(matcher, settings);

  BatchTotals totals;
  Progress progress(out, err, show_progress, pace);
  std::size_t printed = 0;
  bool found = false;  // with -q, the first file with hits ends the batch
  const auto print_ready = [&] {
    for (; printed < window.Added() && window.Ready(printed) && !found; ++printed) {
      const BatchInput& input = window.InputAt(printed);
      FileScan& scan = window.ScanAt(printed);
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
          hits = !scan.hits.empty();
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
      scan = FileScan{};  // printed: its memory goes
    }
    progress.Show(printed, window.Added(), bytes_read);
    if (found) throw BatchAnswered{};
  };
  // Each file found takes the next slot, once the result that held it is printed.
  const auto add = [&](BatchInput input) {
    while (window.Added() - printed == window.Slots()) {
      window.Wake();
      print_ready();
      if (window.Added() - printed == window.Slots() && !scan_one(scanner, false)) {
        window.Wait(printed);
      }
    }
    window.Next() = std::move(input);
    window.Add();
    print_ready();
  };
  try {
    CollectInputs(options, library_file, in, add);
    window.Finish();
    while (scan_one(scanner, false)) print_ready();
    while (printed < window.Added()) {
      if (!window.Ready(printed)) {
        if (show_progress) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else {
          window.Wait(printed);
        }
      }
      print_ready();
    }
  } catch (...) {
    // A refused write, or -q's first hit: the scans still running stop at their next read.
    stop.store(true);
    window.Finish();
    for (std::thread& worker : workers) worker.join();
    if (found) return kExitFound;
    throw;
  }
  for (std::thread& worker : workers) worker.join();
  progress.Clear();
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
