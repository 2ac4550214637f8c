#include "cli/report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "scan/scan.h"
#include "scan/text_encoding.h"

namespace tesqua {
namespace {

std::string EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return "utf-8";
    case TextEncoding::kUtf8WithMark:
      return "utf-8-bom";
    case TextEncoding::kUtf16Le:
      return "utf-16le";
    case TextEncoding::kUtf16Be:
      return "utf-16be";
    case TextEncoding::kAnsi:
      return "ansi";
  }
  return "";
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      text += k <= count ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return text;
}

// A path as JSON: a string where it is UTF-8; else its bytes, which a Linux file name may be
// (GBK from an unpacked Chinese archive), kept as {"bytes":"BASE64"} so that it can be opened.
std::string JsonPath(const std::string& path) {
  if (EncodeUtf8(DecodeUtf8(path)) == path) return JsonString(path);
  return "{\"bytes\":\"" + Base64(path) + "\"}";
}

}  // namespace

std::string JsonString(std::string_view utf8) {
  const std::string clean = EncodeUtf8(DecodeUtf8(utf8));
  std::string json = "\"";
  for (const char c : clean) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(byte));
      json += escape;
    } else {
      json += c;
    }
  }
  return json + '"';
}

std::string TextLine(const std::string& path, const std::vector<std::u16string>& entries,
                     const FileScan& scan) {
  std::u16string names;
  bool any = false;
  for (const KeyHit& hit : scan.hits) {
    if (any) names += u", ";
    names += DisplayName(entries[hit.key]);
    any = true;
  }
  static const std::string no_hit = EncodeUtf8(kNoHitVerdict);  // most files: once for all
  return path + ": " + (any ? EncodeUtf8(names) : no_hit) + "\n";
}

std::string JsonLine(const std::string& path, const std::vector<std::u16string>& entries,
                     const FileScan& scan) {
  std::string json = "{\"path\":" + JsonPath(path);
  switch (scan.outcome) {
    case FileScan::Outcome::kUnreadable:
      return json + ",\"error\":" + JsonString(scan.error) + "}\n";
    case FileScan::Outcome::kBinary:
      return json + ",\"skipped\":\"binary\"}\n";
    case FileScan::Outcome::kScanned:
      break;
  }
  json += ",\"encoding\":\"" + EncodingName(scan.encoding) + "\",\"hits\":[";
  bool any = false;
  for (const KeyHit& hit : scan.hits) {
    if (any) json += ',';
    any = true;
    const std::u16string& entry = entries[hit.key];
    json += "{\"entry\":" + JsonString(EncodeUtf8(entry)) +
            ",\"name\":" + JsonString(EncodeUtf8(DisplayName(entry))) +
            ",\"line\":" + std::to_string(hit.point.line) +
            ",\"column\":" + std::to_string(hit.point.column) + "}";
  }
  return json + "]}\n";
}

std::string TextSummary(const BatchTotals& totals) {
  return std::to_string(totals.scanned) + (totals.scanned == 1 ? " file" : " files") +
         " scanned, " + std::to_string(totals.with_hits) + " with hits, " +
         std::to_string(totals.unreadable) + " could not be read, " +
         std::to_string(totals.skipped) + " could not be checked (binary or encrypted)\n";
}

std::string JsonSummary(const BatchTotals& totals) {
  return "{\"summary\":{\"scanned\":" + std::to_string(totals.scanned) +
         ",\"with_hits\":" + std::to_string(totals.with_hits) +
         ",\"unreadable\":" + std::to_string(totals.unreadable) +
         ",\"skipped\":" + std::to_string(totals.skipped) + "}}\n";
}

}  // namespace tesqua
