#include "scan/scan.h"

#include <mutex>
#include <utility>

#include "scan/case_folding.h"
#include "scan/matcher.h"

namespace tesqua {
namespace {

struct CompiledLibrary {
  std::vector<std::u16string> entries;
  Matcher matcher;
};

// The window scans the same library at every notice: its matcher is built once and rebuilt
// only when the entries differ.
std::shared_ptr<const CompiledLibrary> MatcherFor(const std::vector<std::u16string>& entries) {
  static std::mutex mutex;
  static std::shared_ptr<const CompiledLibrary> cached;
  const std::lock_guard lock(mutex);
  if (!cached || cached->entries != entries) {
    cached = std::make_shared<const CompiledLibrary>(
        CompiledLibrary{entries, Matcher(SearchKeys(entries))});
  }
  return cached;
}

// The key of an entry as two parts, the second empty or "(".
std::pair<std::u16string_view, std::u16string_view> SearchKeyParts(std::u16string_view entry) {
  if (!entry.empty() && entry.front() == u'$') return {entry.substr(1), u"("};
  return {entry, {}};
}

}  // namespace

std::u16string SearchKey(std::u16string_view entry) {
  const auto [name, call] = SearchKeyParts(entry);
  return std::u16string(name).append(call);
}

std::u16string DisplayName(std::u16string_view entry) {
  if (!entry.empty() && entry.front() == u'$') return std::u16string(entry.substr(1));
  return std::u16string(entry);
}

std::u16string WarningLine(std::u16string_view display_name) {
  std::u16string line;
  line.reserve(kLineBreak.size() + kWarningPrefix.size() + display_name.size() +
               kWarningSuffix.size());
  line.append(kLineBreak).append(kWarningPrefix).append(display_name).append(kWarningSuffix);
  return line;
}

KeyList SearchKeys(const std::vector<std::u16string>& entries) {
  KeyList keys;
  std::size_t units = 0;
  for (const std::u16string& entry : entries) units += entry.size();
  keys.Reserve(entries.size(), units);
  for (const std::u16string& entry : entries) {
    const auto [name, call] = SearchKeyParts(entry);
    keys.Add(name, call);
  }
  return keys;
}

ScanResult Verdict(const std::vector<std::u16string>& entries,
                   const std::vector<std::uint64_t>& first_positions) {
  ScanResult result;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (first_positions[i] == kNotFound) continue;
    result.verdict += WarningLine(DisplayName(entries[i]));
    ++result.hit_count;
  }
  if (result.hit_count == 0) result.verdict = kNoHitVerdict;
  return result;
}

ScanResult ScanClipboardText(ListBox& List1, const SharedClipboardTextReader& ReadClipboardText) {
  List1.SetListIndex(0);  // fails on an empty library, before any verdict
  const int count = List1.ListCount();
  std::vector<std::u16string> entries;
  entries.reserve(std::size_t(count));
  std::shared_ptr<const std::u16string> text;  // the first read's: every later read is the same
  for (int position = 0; position < count; ++position) {
    entries.push_back(List1.List(List1.ListIndex()));
    std::shared_ptr<const std::u16string> read = ReadClipboardText();
    if (!text) text = read ? std::move(read) : std::make_shared<const std::u16string>();
    if (position < count - 1) List1.SetListIndex(List1.ListIndex() + 1);
  }
  ScanResult result = Verdict(entries, MatcherFor(entries)->matcher.FirstPositions(*text));
  List1.SetListIndex(-1);
  return result;
}

ScanResult ScanText(const std::vector<std::u16string>& entries, std::u16string_view text) {
  if (entries.empty()) throw PlatformFailure("list index 0 out of range");
  return Verdict(entries, MatcherFor(entries)->matcher.FirstPositions(text));
}

}  // namespace tesqua
