// What the batch prints: a line or a JSON object per file, and the summary.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/file_scan.h"

namespace tesqua {

// What is said of a binary or encrypted file, which is never scanned.
inline constexpr std::string_view kCannotCheck =
    "cannot be checked (binary or encrypted); open it in the charting program and copy the "
    "formula text instead";

// What is said of a wildcard that matches no file.
inline constexpr std::string_view kNoMatch = "no file matches";

struct BatchTotals {
  std::size_t scanned = 0;
  std::size_t with_hits = 0;
  std::size_t unreadable = 0;
  std::size_t skipped = 0;  // binary or encrypted files: not checked
};

// "PATH: ZIG, DVOL" with the hits' names in library order, or "PATH: 没有发现未来函数！".
std::string TextLine(const std::string& path, const std::vector<std::u16string>& entries,
                     const FileScan& scan);
std::string JsonLine(const std::string& path, const std::vector<std::u16string>& entries,
                     const FileScan& scan);
std::string TextSummary(const BatchTotals& totals);
std::string JsonSummary(const BatchTotals& totals);

// A JSON string literal, quotes included; bytes that are no UTF-8 become U+FFFD.
std::string JsonString(std::string_view utf8);

}  // namespace tesqua
