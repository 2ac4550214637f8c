#include "scan/scan.h"

#include <algorithm>

#include "scan/case_folding.h"
#include "scan/entry_list.h"

namespace tesqua {

std::u16string SearchKey(std::u16string_view entry) {
  if (!entry.empty() && entry.front() == u'$') return std::u16string(entry.substr(1)) + u'(';
  return std::u16string(entry);
}

std::u16string DisplayName(std::u16string_view entry) {
  if (!entry.empty() && entry.front() == u'$') return std::u16string(entry.substr(1));
  return std::u16string(entry);
}

bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view key) {
  if (text.empty()) return false;
  return FoldCase(text).find(FoldCase(key)) != std::u16string::npos;
}

std::u16string WarningLine(std::u16string_view display_name) {
  std::u16string line;
  line.reserve(kLineBreak.size() + kWarningPrefix.size() + display_name.size() +
               kWarningSuffix.size());
  line.append(kLineBreak).append(kWarningPrefix).append(display_name).append(kWarningSuffix);
  return line;
}

ScanResult ScanClipboardText(ListBox& List1, const ClipboardTextReader& ReadClipboardText) {
  List1.SetListIndex(0);  // fails on an empty library, before any verdict
  ScanResult result;
  const int count = List1.ListCount();
  for (int position = 0; position < count; ++position) {
    const std::u16string entry = List1.List(List1.ListIndex());
    const std::u16string text = ReadClipboardText();
    if (ContainsIgnoringCase(text, SearchKey(entry))) {
      result.verdict += WarningLine(DisplayName(entry));
      ++result.hit_count;
    }
    if (position < count - 1) List1.SetListIndex(List1.ListIndex() + 1);
  }
  if (result.hit_count == 0) result.verdict = kNoHitVerdict;
  List1.SetListIndex(-1);
  return result;
}

ScanResult ScanText(const std::vector<std::u16string>& entries, std::u16string_view text) {
  EntryList list(entries);
  const std::u16string copy(text);
  return ScanClipboardText(list, [&copy] { return copy; });
}

}  // namespace tesqua
