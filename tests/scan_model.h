// A deliberately plain scan, what the differential tests and fuzz targets expect: each key found
// in the whole folded text with find. It borrows only FoldCase of one code point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/case_folding.h"
#include "scan/matcher.h"  // TextPoint, a plain line and column

namespace tesqua::model {

inline std::u16string Fold(std::u16string_view text) {
  std::u16string folded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      const char32_t fold = FoldCase(0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
      folded += char16_t(0xD800 + ((fold - 0x10000) >> 10));
      folded += char16_t(0xDC00 + ((fold - 0x10000) & 0x3FF));
    } else {
      folded += unit >= 0xD800 && unit <= 0xDFFF ? char16_t(unit) : char16_t(FoldCase(unit));
    }
  }
  return folded;
}

// "$NAME" is looked for as "NAME(" and named NAME; anything else as it stands.
inline std::u16string Name(std::u16string_view entry) {
  return std::u16string(entry.starts_with(u'$') ? entry.substr(1) : entry);
}
inline std::vector<std::u16string> Keys(const std::vector<std::u16string>& entries) {
  std::vector<std::u16string> keys;
  for (const std::u16string& entry : entries) {
    keys.push_back(entry.starts_with(u'$') ? Name(entry) + u"(" : Name(entry));
  }
  return keys;
}

// Where each key first occurs in text, in units; kNone where it does not. An empty text
// holds nothing, not even the empty key.
inline constexpr std::uint64_t kNone = ~std::uint64_t{0};
inline std::vector<std::uint64_t> FirstPositions(const std::vector<std::u16string>& keys,
                                                 std::u16string_view text) {
  const std::u16string folded = Fold(text);
  std::vector<std::uint64_t> positions;
  for (const std::u16string& key : keys) {
    const std::size_t at = text.empty() ? std::u16string::npos : folded.find(Fold(key));
    positions.push_back(at == std::u16string::npos ? kNone : at);
  }
  return positions;
}

struct Verdict {
  std::u16string text;
  int hits = 0;
};

inline Verdict Scan(const std::vector<std::u16string>& entries, std::u16string_view text) {
  const std::vector<std::uint64_t> positions = FirstPositions(Keys(entries), text);
  Verdict verdict;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (positions[i] == kNone) continue;
    verdict.text += u"\r\n注意：发现未来函数" + Name(entries[i]) + u"！";
    ++verdict.hits;
  }
  if (verdict.hits == 0) verdict.text = u"没有发现未来函数！";
  return verdict;
}

// Per key: the line and column, from 1, of its first occurrence (lines end at CR LF, CR or LF;
// a surrogate pair is one column); 0 and 0 where it does not occur.
inline std::vector<TextPoint> FirstPoints(const std::vector<std::u16string>& keys,
                                          std::u16string_view text) {
  std::vector<TextPoint> points;
  for (const std::uint64_t position : FirstPositions(keys, text)) {
    TextPoint point = position == kNone ? TextPoint{} : TextPoint{1, 1};
    for (std::size_t i = 0; position != kNone && i < position; ++i) {
      const char16_t unit = text[i], before = i > 0 ? text[i - 1] : u'\0';
      if (unit == u'\r' || (unit == u'\n' && before != u'\r')) {
        ++point.line;
        point.column = 1;
      } else if (unit != u'\n' &&
                 !(unit >= 0xDC00 && unit <= 0xDFFF && before >= 0xD800 && before <= 0xDBFF)) {
        ++point.column;
      }
    }
    points.push_back(point);
  }
  return points;
}

}  // namespace tesqua::model
