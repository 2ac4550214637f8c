#include "scan/scan.h"

#include <mutex>

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

// The last text searched, while its reader still shares it: a notice that finds the clipboard
// unchanged is answered without searching again.
std::vector<std::uint64_t> FirstPositionsOf(const std::shared_ptr<const CompiledLibrary>& library,
                                            const std::shared_ptr<const std::u16string>& text) {
  struct LastSearch {
    std::shared_ptr<const CompiledLibrary> library;
    std::weak_ptr<const std::u16string> text;
    std::vector<std::uint64_t> first_positions;
  };
  static std::mutex mutex;
  static LastSearch last;
  {
    const std::lock_guard lock(mutex);
    if (last.library == library && last.text.lock() == text) return last.first_positions;
  }
  std::vector<std::uint64_t> found = library->matcher.FirstPositions(*text);
  const std::lock_guard lock(mutex);
  last = LastSearch{library, text, found};
  return found;
}

}  // namespace

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

std::vector<std::u16string> SearchKeys(const std::vector<std::u16string>& entries) {
  std::vector<std::u16string> keys;
  keys.reserve(entries.size());
  for (const std::u16string& entry : entries) keys.push_back(SearchKey(entry));
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
  // The distinct texts read, and for each entry the one it read.
  std::vector<std::shared_ptr<const std::u16string>> texts;
  std::vector<std::size_t> text_of_entry;
  text_of_entry.reserve(std::size_t(count));
  for (int position = 0; position < count; ++position) {
    entries.push_back(List1.List(List1.ListIndex()));
    std::shared_ptr<const std::u16string> text = ReadClipboardText();
    if (!text) text = std::make_shared<const std::u16string>();
    if (texts.empty() || (text != texts.back() && *text != *texts.back())) {
      texts.push_back(std::move(text));
    }
    text_of_entry.push_back(texts.size() - 1);
    if (position < count - 1) List1.SetListIndex(List1.ListIndex() + 1);
  }
  const std::shared_ptr<const CompiledLibrary> library = MatcherFor(entries);
  std::vector<std::uint64_t> first_positions(entries.size(), kNotFound);
  for (std::size_t t = 0; t < texts.size(); ++t) {
    const std::vector<std::uint64_t> found = FirstPositionsOf(library, texts[t]);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (text_of_entry[i] == t) first_positions[i] = found[i];
    }
  }
  ScanResult result = Verdict(entries, first_positions);
  List1.SetListIndex(-1);
  return result;
}

ScanResult ScanClipboardText(ListBox& List1, const ClipboardTextReader& ReadClipboardText) {
  return ScanClipboardText(List1, SharedClipboardTextReader([&ReadClipboardText] {
                             return std::make_shared<const std::u16string>(ReadClipboardText());
                           }));
}

ScanResult ScanText(const std::vector<std::u16string>& entries, std::u16string_view text) {
  if (entries.empty()) throw PlatformFailure("list index 0 out of range");
  return Verdict(entries, MatcherFor(entries)->matcher.FirstPositions(text));
}

}  // namespace tesqua
