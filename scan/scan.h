// The future-function scan: which library entries occur in a text, and the verdict shown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "scan/matcher.h"

namespace tesqua {

inline constexpr std::u16string_view kLineBreak = u"\r\n";
inline constexpr std::u16string_view kWarningPrefix = u"注意：发现未来函数";
inline constexpr std::u16string_view kWarningSuffix = u"！";
inline constexpr std::u16string_view kNoHitVerdict = u"没有发现未来函数！";

// An entry that starts with "$" names a function called with arguments: its key is the name
// followed by "(". Any other entry, the empty one included, is looked for as it stands.
std::u16string SearchKey(std::u16string_view entry);
std::u16string DisplayName(std::u16string_view entry);

// The line break, the prefix, the name and the suffix.
std::u16string WarningLine(std::u16string_view display_name);

struct ScanResult {
  std::u16string verdict;
  int hit_count = 0;
};

using SharedClipboardTextReader = std::function<std::shared_ptr<const std::u16string>()>;

// Walks List1 from the first entry to the last through its selection and reads the clipboard
// text for each entry. The reader hands out one snapshot of the clipboard, the same text at
// every read: all entries are searched in the first read's text, at once, by a matcher that is
// kept while the library stays the same. Leaves no item selected. Throws, with the selection
// left on the entry being examined, when the library is empty or a read fails.
ScanResult ScanClipboardText(ListBox& List1, const SharedClipboardTextReader& ReadClipboardText);

// The same rule over entries held in memory.
ScanResult ScanText(const std::vector<std::u16string>& entries, std::u16string_view text);

KeyList SearchKeys(const std::vector<std::u16string>& entries);
// The verdict for entries whose keys first occur at first_positions (kNotFound: nowhere).
ScanResult Verdict(const std::vector<std::u16string>& entries,
                   const std::vector<std::uint64_t>& first_positions);

}  // namespace tesqua
