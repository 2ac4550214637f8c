#include "scan/library.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "platform/new_file.h"

namespace tesqua {

const std::vector<std::u16string>& DefaultLibrary() {
  static const std::vector<std::u16string> entries = {
      u"$ZIG",      u"$PEAK",   u"$PEAKBARS",  u"$TROUGH",  u"$TROUGHBARS", u"$FLATZIG",
      u"$FLATZIGA", u"$PEAKA",  u"$PEAKBARSA", u"$TROUGHA", u"$ZIGA",       u"$FFT",
      u"$BACKSET",  u"$WINNER", u"$LWINNER",   u"$COST",    u"$DYNAINFO",   u"$FINANCE",
      u"$DRAWLINE", u"#YEAR",   u"#MONTH",     u"#WEEK",    u"CAPITAL",     u"DCLOSE",
      u"DOPEN",     u"DLOW",    u"DVOL",
  };
  return entries;
}

std::string DefaultLibraryBytes() {
  std::string bytes;
  for (const std::u16string& entry : DefaultLibrary()) {
    for (const char16_t unit : entry) bytes.push_back(char(unit));  // the defaults are ASCII
    bytes += "\r\n";
  }
  return bytes;
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  // Counted first, so that a library of thousands of lines is not moved as the list grows:
  // each LF, and each CR not followed by one.
  std::size_t count = 0;
  const char16_t* units = text.data();
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const unsigned unit = units[i], next = units[i + 1];
    count += unsigned(unit == u'\n') | (unsigned(unit == u'\r') & unsigned(next != u'\n'));
  }
  std::vector<std::u16string> lines;
  lines.reserve(count + 2);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] > u'\r' || (text[i] != u'\r' && text[i] != u'\n')) continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool EnsureLibrary(const std::filesystem::path& file) {
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(file, error))) return false;
  if (error && error != std::errc::no_such_file_or_directory) {
    throw LibraryError("cannot look for " + file.string() + ": " + error.message());
  }
  try {
    // A half-written library would load as a shorter one, and an empty one as no library.
    return CreateNewFile(file, DefaultLibraryBytes());
  } catch (const PlatformFailure& failure) {
    throw LibraryError("cannot write " + file.string() + ": " + failure.what());
  }
}

std::string ReadFileBytes(const std::filesystem::path& file) {
  const std::string cannot_read = "cannot read " + file.string() + ": ";
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) {
    throw LibraryError(cannot_read + "is a directory");
  }
  errno = 0;  // the stream's open sets it with the system's reason
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw LibraryError(cannot_read +
                       (errno != 0 ? std::generic_category().message(errno) : "cannot open"));
  }
  // Read in one go where the size is known (a byte more, to meet the end); a file that grows,
  // or has no size (a pipe), in doubling steps.
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  std::string bytes(error ? 64 * 1024 : std::size_t(size) + 1, '\0');
  std::size_t got = 0;
  while (in) {
    if (got == bytes.size()) bytes.resize(2 * got);
    in.read(bytes.data() + got, std::streamsize(bytes.size() - got));
    got += std::size_t(in.gcount());
  }
  if (in.bad()) throw LibraryError(cannot_read + "input/output error");
  bytes.resize(got);
  return bytes;
}

std::vector<std::u16string> ReadLibrary(const std::filesystem::path& file,
                                        const AnsiDecoder& decode_ansi) {
  return SplitLines(DecodeText(ReadFileBytes(file), decode_ansi));
}

void LoadLibrary(ListBox& list, const std::vector<std::u16string>& entries) {
  int index = 0;
  for (const std::u16string& entry : entries) list.AddItem(entry, index++);
}

void LoadLibrary(ListBox& list, const std::filesystem::path& file, const AnsiDecoder& decode_ansi) {
  LoadLibrary(list, ReadLibrary(file, decode_ansi));
}

}  // namespace tesqua
