#include "cli/scan_command.h"

#include <filesystem>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>

#include "platform/platform.h"
#include "scan/library.h"
#include "scan/scan.h"
#include "scan/text_encoding.h"

namespace tesqua {
namespace {

constexpr std::string_view kUsage = "usage: tesqua-scan [--library FILE] [FILE]\n";

struct Options {
  std::optional<std::filesystem::path> library;
  std::optional<std::string> input;  // absent or "-" for standard input
};

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::ostream& err) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--library") {
      if (i + 1 == args.size()) {
        err << "tesqua-scan: --library needs a file name\n" << kUsage;
        return std::nullopt;
      }
      options.library = std::filesystem::u8path(args[++i]);
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      err << "tesqua-scan: unknown option " << arg << "\n" << kUsage;
      return std::nullopt;
    } else if (options.input) {
      err << "tesqua-scan: more than one file given\n" << kUsage;
      return std::nullopt;
    } else {
      options.input = arg;
    }
  }
  return options;
}

std::string ReadInputBytes(const std::optional<std::string>& input, std::istream& in) {
  if (!input || *input == "-") {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw LibraryError("cannot read standard input");
    return bytes;
  }
  return ReadFileBytes(std::filesystem::u8path(*input));
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  const std::optional<Options> options = ParseArguments(args, err);
  if (!options) return kExitError;
  try {
    std::filesystem::path library_file = options->library.value_or(kLibraryFileName);
    // Without --library the scanner stands where the window would, and bootstraps alike.
    if (!options->library) EnsureLibrary(library_file);
    const std::vector<std::u16string> entries = ReadLibrary(library_file, DecodeAnsiCodePage);
    const std::u16string text = DecodeText(ReadInputBytes(options->input, in), DecodeAnsiCodePage);
    if (entries.empty()) {
      err << "tesqua-scan: the library " << library_file.string()
          << " has no entries, so there is no verdict\n";
      return kExitNoVerdict;
    }
    const ScanResult result = ScanText(entries, text);
    out << EncodeUtf8(result.verdict) << '\n';
    return result.hit_count > 0 ? kExitFound : kExitNoneFound;
  } catch (const LibraryError& error) {
    err << "tesqua-scan: " << error.what() << "\n";
    return kExitError;
  }
}

}  // namespace tesqua
