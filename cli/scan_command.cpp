#include "cli/scan_command.h"

#include <filesystem>
#include <istream>
#include <ostream>

#include "cli/batch.h"
#include "cli/file_scan.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "scan/library.h"
#include "scan/scan.h"
#include "scan/text_encoding.h"

namespace tesqua {
namespace {

#ifdef _WIN32
constexpr std::string_view kEndOfInput = "Ctrl+Z, then Enter";
#else
constexpr std::string_view kEndOfInput = "Ctrl+D";
#endif

// The window's verdict for one file or standard input, exactly as the window words it.
int ScanSingleInput(const ScanOptions& options, const std::vector<std::u16string>& entries,
                    const std::filesystem::path& library_file, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  const Matcher matcher(SearchKeys(entries));
  const ScanSettings settings{};
  const bool standard_input = options.inputs.empty() || options.inputs.front() == "-";
  const std::string name = standard_input ? "standard input" : options.inputs.front();
  // What is said of the file, unless -s keeps it quiet; the status tells all the same.
  const auto fail = [&](const std::string& message) {
    if (!options.no_messages) err << "tesqua-scan: " << message << "\n";
    return kExitError;
  };
  if (options.unmatched.contains(name)) return fail(name + ": " + std::string(kNoMatch));
  std::error_code error;
  if (!standard_input && std::filesystem::is_directory(std::filesystem::u8path(name), error)) {
    return fail(name + ": is a folder (use -r)");
  }
  const FileScan scan = standard_input ? ScanStream(in, matcher, settings)
                                       : ScanFile(std::filesystem::u8path(name), matcher, settings);
  if (scan.outcome == FileScan::Outcome::kUnreadable) {
    return fail("cannot read " + name + ": " + scan.error);
  }
  if (scan.outcome == FileScan::Outcome::kBinary)
    return fail(name + ": " + std::string(kCannotCheck));
  if (entries.empty()) {
    err << "tesqua-scan: the library " << library_file.string()
        << " has no entries, so there is no verdict\n";
    return kExitNoVerdict;
  }
  std::vector<std::uint64_t> first_positions(entries.size(), kNotFound);
  for (const KeyHit& hit : scan.hits) first_positions[hit.key] = hit.position;
  const ScanResult result = Verdict(entries, first_positions);
  if (!options.quiet) out << EncodeUtf8(result.verdict) << '\n';
  return result.hit_count > 0 ? kExitFound : kExitNoneFound;
}

int RunCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err, bool show_progress, bool input_is_terminal) {
  std::optional<ScanOptions> options = ParseScanOptions(args, err);
  if (!options) return kExitError;
  if (options->null_names) KeepLineFeeds(out);
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
    // Without --library the scanner stands where the window would, and bootstraps alike: where
    // code.ini is missing and cannot be written, it works from the defaults, and says so.
    bool built_in = false;
    if (!options->library) {
      try {
        EnsureLibrary(library_file);
      } catch (const LibraryError& error) {
        err << "tesqua-scan: " << error.what() << "; using the built-in defaults\n";
        built_in = true;
      }
    }
    const std::vector<std::u16string> entries =
        built_in ? DefaultLibrary() : ReadLibrary(library_file, DecodeAnsiCodePage);
    // No path at a terminal: the person may not know that the formula is awaited there.
    if (input_is_terminal && options->inputs.empty() && !options->files_from) {
      err << "tesqua-scan: reading the formula from standard input (end it with " << kEndOfInput
          << ")\n";
    }
    if (options->SingleInput()) {
      return ScanSingleInput(*options, entries, library_file, in, out, err);
    }
    if (entries.empty()) {
      err << "tesqua-scan: the library " << library_file.string()
          << " has no entries, so there is no verdict\n";
      return kExitNoVerdict;
    }
    if (options->inputs.empty() && !options->files_from) options->inputs.push_back("-");
    return RunBatch(*options, entries, library_file, in, out, err, show_progress);
  } catch (const LibraryError& error) {
    err << "tesqua-scan: " << error.what() << "\n";
    return kExitError;
  }
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, bool show_progress, bool input_is_terminal) {
  // A verdict or a status that the output never got is no verdict: a refused write ends the
  // run there, also the last one, which only the flush makes.
  try {
    const int status = RunCommand(args, in, out, err, show_progress, input_is_terminal);
    out.flush();
    CheckWritten(out);
    return status;
  } catch (const WriteError& error) {
    err << "tesqua-scan: write error: " << error.what() << "\n";
    return kExitError;
  }
}

}  // namespace tesqua
