// The signature library: code.ini, one entry per line, loaded into List1 at start-up.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "scan/text_encoding.h"

namespace tesqua {

inline constexpr std::string_view kLibraryFileName = "code.ini";

// A library file that cannot be read or written.
class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The 27 entries written when code.ini is missing, in file order.
const std::vector<std::u16string>& DefaultLibrary();
// The default file's exact bytes: each entry in ASCII followed by CR LF, nothing else.
std::string DefaultLibraryBytes();

// Splits a text into its lines. A line ends at CR LF, CR or LF, which is not part of it; a
// last line without an end is still a line; a text that ends in a line end has no empty line
// after it. Nothing is trimmed or skipped.
std::vector<std::u16string> SplitLines(std::u16string_view text);

// Writes the default library to file when no directory entry of that name exists; an existing
// one is never touched, whatever it is or holds. Returns whether it wrote. The file appears
// whole or not at all, also to programs reading or writing it at the same moment. Throws
// LibraryError ("cannot write code.ini: <reason>") when the file is missing and cannot be
// written; the caller then works from DefaultLibrary(), as the file would have held it.
bool EnsureLibrary(const std::filesystem::path& file = kLibraryFileName);

// The entries of a library file, decoded as DecodeText does.
std::vector<std::u16string> ReadLibrary(const std::filesystem::path& file,
                                        const AnsiDecoder& decode_ansi);

// Adds the entries to list, each at the next index, in order.
void LoadLibrary(ListBox& list, const std::vector<std::u16string>& entries);
// Reads the library file into list, each line at the next index, in file order.
void LoadLibrary(ListBox& list, const std::filesystem::path& file, const AnsiDecoder& decode_ansi);

// The whole content of a file; throws LibraryError naming the file and the reason when it
// cannot be read.
std::string ReadFileBytes(const std::filesystem::path& file);

}  // namespace tesqua
