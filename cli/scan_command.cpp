#include "cli/scan_command.h"

#include <filesystem>
#include <istream>
#include <ostream>

#include "cli/batch.h"
#include "cli/file_scan.h"
#include "cli/options.h"
#include "scan/library.h"
#include "scan/scan.h"
#include "scan/text_encoding.h"

namespace tesqua {
namespace {

// The window's verdict for one file or standard input, exactly as the window words it.
int ScanSingleInput(const ScanOptions& options, const std::vector<std::u16string>& entries,
                    const std::filesystem::path& library_file, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  const Matcher matcher(SearchKeys(entries));
  const ScanSettings settings{false, false, nullptr};
  FileScan scan;
  const bool standard_input = options.inputs.empty() || options.inputs.front() == "-";
  if (standard_input) {
    scan = ScanStream(in, matcher, settings);
    if (scan.outcome == FileScan::Outcome::kUnreadable) {
      err << "tesqua-scan: cannot read standard input: " << scan.error << "\n";
      return kExitError;
    }
  } else {
    scan = ScanFile(std::filesystem::u8path(options.inputs.front()), matcher, settings);
    if (scan.outcome == FileScan::Outcome::kUnreadable) {
      err << "tesqua-scan: cannot read " << options.inputs.front() << ": " << scan.error << "\n";
      return kExitError;
    }
  }
  if (entries.empty()) {
    err << "tesqua-scan: the library " << library_file.string()
        << " has no entries, so there is no verdict\n";
    return kExitNoVerdict;
  }
  const ScanResult result = Verdict(entries, scan.first_positions);
  out << EncodeUtf8(result.verdict) << '\n';
  return result.hit_count > 0 ? kExitFound : kExitNoneFound;
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, bool show_progress) {
  std::optional<ScanOptions> options = ParseScanOptions(args, err);
  if (!options) return kExitError;
  if (options->help) {
    PrintHelp(out);
    return kExitNoneFound;
  }
  if (options->version) {
    out << "tesqua-scan " << kTesquaVersion << "\n";
    return kExitNoneFound;
  }
  try {
    const std::filesystem::path library_file = options->library.value_or(kLibraryFileName);
    // Without --library the scanner stands where the window would, and bootstraps alike.
    if (!options->library) EnsureLibrary(library_file);
    const std::vector<std::u16string> entries = ReadLibrary(library_file, DecodeAnsiCodePage);
    if (options->SingleInput()) {
      return ScanSingleInput(*options, entries, library_file, in, out, err);
    }
    if (entries.empty()) {
      err << "tesqua-scan: the library " << library_file.string()
          << " has no entries, so there is no verdict\n";
      return kExitNoVerdict;
    }
    if (options->inputs.empty()) options->inputs.push_back("-");
    return RunBatch(*options, entries, library_file, in, out, err, show_progress);
  } catch (const LibraryError& error) {
    err << "tesqua-scan: " << error.what() << "\n";
    return kExitError;
  }
}

}  // namespace tesqua
