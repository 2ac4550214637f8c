#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/file_scan.h"
#include "cli/report.h"
#include "cli/scan_command.h"
#include "scan/scan.h"

namespace tesqua {
namespace {

namespace fs = std::filesystem;

std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string LowerExtension(const fs::path& path) {
  std::string extension = Utf8Path(path.extension());
  if (!extension.empty()) extension.erase(0, 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return extension;
}

void Walk(const fs::path& folder, const ScanOptions& options, const fs::path& library_file,
          std::vector<BatchInput>& inputs) {
  std::error_code error;
  std::vector<fs::directory_entry> children;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    children.push_back(*it);
  }
  if (error) {
    inputs.push_back(
        {Utf8Path(folder), folder, false, "cannot list the folder: " + error.message()});
    return;
  }
  // By name as the system spells it: all share the folder, and plain string order is far
  // cheaper than comparing paths element by element.
  std::sort(children.begin(), children.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) {
              return a.path().native() < b.path().native();
            });
  for (const fs::directory_entry& child : children) {
    std::error_code status_error;
    // The entry knows its own type from the listing: no look-up per file.
    if (child.is_directory(status_error) && !child.is_symlink(status_error)) {
      Walk(child.path(), options, library_file, inputs);
      continue;
    }
    if (!child.is_regular_file(status_error)) continue;
    if (!options.extensions.empty() && !options.extensions.contains(LowerExtension(child.path()))) {
      continue;
    }
    if (child.path().filename() == library_file.filename() &&
        fs::equivalent(child.path(), library_file, status_error)) {
      continue;
    }
    inputs.push_back({Utf8Path(child.path()), child.path(), false, "", true});
  }
}

// Results come in any order from the threads and go out in the inputs' order. A result is
// published by its flag alone: no lock and no wake-up per file, which would cost more than the
// scan of a small file.
class ResultSlots {
 public:
  explicit ResultSlots(std::size_t count) : scans_(count), ready_(count) {}
  void Put(std::size_t index, FileScan scan) {
    scans_[index] = std::move(scan);
    ready_[index].store(true, std::memory_order_release);
    ready_[index].notify_one();
  }
  bool Ready(std::size_t index) const { return ready_[index].load(std::memory_order_acquire); }
  void Wait(std::size_t index) const { ready_[index].wait(false, std::memory_order_acquire); }
  FileScan& At(std::size_t index) { return scans_[index]; }

 private:
  std::vector<FileScan> scans_;
  std::vector<std::atomic<bool>> ready_;
};

class Progress {
 public:
  Progress(std::ostream& err, bool enabled, std::size_t total)
      : err_(err), enabled_(enabled), total_(total), start_(Clock::now()) {}
  void Show(std::size_t done, std::uint64_t bytes) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::milliseconds(500) ||
        now - last_ < std::chrono::milliseconds(100)) {
      return;
    }
    last_ = now;
    char line[96];
    std::snprintf(line, sizeof line, "\r%zu/%zu files, %llu MB ", done, total_,
                  static_cast<unsigned long long>(bytes >> 20));
    err_ << line << std::flush;
    shown_ = true;
  }
  void Clear() {
    if (shown_) err_ << '\r' << std::string(40, ' ') << '\r' << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  bool enabled_;
  std::size_t total_;
  Clock::time_point start_;
  Clock::time_point last_{};
  bool shown_ = false;
};

FileScan ScanInput(const BatchInput& input, const std::string& standard_input,
                   const Matcher& matcher, const ScanSettings& settings) {
  if (!input.error.empty()) {
    FileScan scan;
    scan.outcome = FileScan::Outcome::kUnreadable;
    scan.error = input.error;
    return scan;
  }
  try {
    if (input.standard_input) return ScanBytes(standard_input, matcher, settings);
    return ScanFile(input.path, matcher, settings, input.regular);
  } catch (const std::exception& failure) {
    FileScan scan;
    scan.outcome = FileScan::Outcome::kUnreadable;
    scan.error = failure.what();
    return scan;
  }
}

}  // namespace

std::vector<BatchInput> CollectInputs(const ScanOptions& options, const fs::path& library_file) {
  std::vector<BatchInput> inputs;
  for (const std::string& name : options.inputs) {
    if (name == "-") {
      inputs.push_back({"-", {}, true, ""});
      continue;
    }
    const fs::path path = fs::u8path(name);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
      inputs.push_back({name, path, false, error.message()});
    } else if (fs::is_directory(status)) {
      if (options.recursive) {
        Walk(path, options, library_file, inputs);
      } else {
        inputs.push_back({name, path, false, "is a folder (scan folders with -r)"});
      }
    } else {
      inputs.push_back({name, path, false, "", fs::is_regular_file(status)});
    }
  }
  return inputs;
}

int RunBatch(const ScanOptions& options, const std::vector<std::u16string>& entries,
             const std::vector<BatchInput>& inputs, std::istream& in, std::ostream& out,
             std::ostream& err, bool show_progress) {
  const Matcher matcher(SearchKeys(entries));
  std::string standard_input;
  if (std::any_of(inputs.begin(), inputs.end(),
                  [](const BatchInput& i) { return i.standard_input; })) {
    standard_input.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ByteCounter bytes_read{0};
  const ScanSettings settings{options.json, true, &bytes_read};

  ResultSlots results(inputs.size());
  std::atomic<std::size_t> next{0};
  const auto scan_next = [&] {
    const std::size_t index = next++;
    if (index >= inputs.size()) return false;
    results.Put(index, ScanInput(inputs[index], standard_input, matcher, settings));
    return true;
  };
  // This thread scans too, and prints whatever is ready in order between its own files.
  const std::size_t thread_count =
      std::clamp<std::size_t>(std::min<std::size_t>(std::thread::hardware_concurrency(), 8), 1,
                              std::max<std::size_t>(inputs.size(), 1));
  std::vector<std::thread> workers;
  for (std::size_t w = 1; w < thread_count; ++w) {
    workers.emplace_back([&] {
      while (scan_next()) {
      }
    });
  }

  BatchTotals totals;
  Progress progress(err, show_progress, inputs.size());
  std::size_t printed = 0;
  const auto print_ready = [&] {
    for (; printed < inputs.size() && results.Ready(printed); ++printed) {
      const BatchInput& input = inputs[printed];
      const FileScan& scan = results.At(printed);
      switch (scan.outcome) {
        case FileScan::Outcome::kUnreadable:
          ++totals.unreadable;
          progress.Clear();
          err << "tesqua-scan: " << input.label << ": " << scan.error << "\n";
          break;
        case FileScan::Outcome::kBinary:
          ++totals.skipped;
          progress.Clear();
          err << "tesqua-scan: " << input.label << ": binary file skipped\n";
          break;
        case FileScan::Outcome::kScanned:
          ++totals.scanned;
          if (std::any_of(scan.first_positions.begin(), scan.first_positions.end(),
                          [](std::uint64_t at) { return at != kNotFound; })) {
            ++totals.with_hits;
          }
          break;
      }
      if (options.json) {
        out << JsonLine(input.label, entries, scan);
      } else if (scan.outcome == FileScan::Outcome::kScanned) {
        out << TextLine(input.label, entries, scan);
      }
      results.At(printed) = FileScan{};  // printed: its memory goes
    }
    progress.Show(printed, bytes_read);
  };
  while (scan_next()) print_ready();
  while (printed < inputs.size()) {
    if (!results.Ready(printed)) {
      if (show_progress) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      } else {
        results.Wait(printed);
      }
    }
    print_ready();
  }
  for (std::thread& worker : workers) worker.join();
  progress.Clear();
  out << (options.json ? JsonSummary(totals) : TextSummary(totals)) << std::flush;
  if (totals.unreadable > 0) return kExitError;
  return totals.with_hits > 0 ? kExitFound : kExitNoneFound;
}

}  // namespace tesqua
