// Strings cross between the logic (UTF-16 std::u16string) and Qt (QString, also UTF-16) here.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tesqua {

inline QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

inline std::u16string ToU16String(const QString& text) {
  return text.toStdU16String();
}

}  // namespace tesqua
