// The matcher's side of a decoded text: the sink that tesqua-scan decodes its files into, and
// that the tests and fuzz targets drive as they are.
#pragma once

#include <string_view>

#include "scan/matcher.h"
#include "scan/text_stream.h"

namespace tesqua {

// Decoded units go to the stream folded; text in an encoding it takes as bytes (UTF-8; GBK
// where that is the ANSI code page) goes to it undecoded. Kept from text to text.
class MatchSink : public TextSink {
 public:
  MatchSink(const Matcher& matcher, bool with_points, bool utf8_as_bytes, bool gbk_as_bytes)
      : utf8_as_bytes_(utf8_as_bytes), gbk_as_bytes_(gbk_as_bytes), stream_(matcher, with_points) {}

  void Restart() override { stream_.Reset(); }
  bool Take(std::u16string_view units, bool folded) override {
    stream_.Feed(units, folded);
    return !stream_.Done();
  }
  bool TakesFolded() const override { return true; }
  bool TakesBytes(ByteEncoding encoding) const override {
    return encoding == ByteEncoding::kUtf8 ? utf8_as_bytes_ : gbk_as_bytes_;
  }
  bool TakeBytes(std::string_view bytes, ByteEncoding encoding) override {
    stream_.FeedBytes(bytes, encoding);
    return !stream_.Done();
  }
  // Ends the text: the stream then holds what was found.
  const MatchStream& Finish() {
    stream_.Finish();
    return stream_;
  }

 private:
  bool utf8_as_bytes_;
  bool gbk_as_bytes_;
  MatchStream stream_;
};

}  // namespace tesqua
