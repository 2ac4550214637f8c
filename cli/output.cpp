#include "cli/output.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tesqua {

bool BlockBuffer::Drain() {
  const std::string_view held(pbase(), std::size_t(pptr() - pbase()));
  setp(block_, block_ + sizeof block_);
  if (!Failure().empty()) return false;
  return held.empty() || WriteAll(held);
}

BlockBuffer::int_type BlockBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  if (line_by_line_ && c == '\n' && !Drain()) return traits_type::eof();
  return c;
}

std::streamsize BlockBuffer::xsputn(const char* bytes, std::streamsize count) {
  const std::string_view text(bytes, std::size_t(count));
  if (text.size() > std::size_t(epptr() - pptr()) && !Drain()) return 0;
  if (text.size() <= std::size_t(epptr() - pptr())) {
    std::memcpy(pptr(), text.data(), text.size());
    pbump(int(text.size()));
  } else if (!WriteAll(text)) {  // more than a block: straight through
    return 0;
  }
  if (line_by_line_ && text.find('\n') != std::string_view::npos && !Drain()) return 0;
  return count;
}

int BlockBuffer::sync() {
  return Drain() ? 0 : -1;
}

bool CrLfBuffer::Put(std::string_view bytes) {
  if (!Failure().empty()) return false;
  if (std::size_t(inner_->sputn(bytes.data(), std::streamsize(bytes.size()))) == bytes.size()) {
    return true;
  }
  return InnerFailed();
}

bool CrLfBuffer::InnerFailed() {
  return Fail(inner_->Failure().empty() ? std::generic_category().message(EIO) : inner_->Failure());
}

std::streamsize CrLfBuffer::xsputn(const char* bytes, std::streamsize count) {
  std::string_view text(bytes, std::size_t(count));
  while (translate_ && !text.empty()) {
    const std::size_t feed = text.find('\n');
    if (feed == std::string_view::npos) break;
    const bool bare = feed == 0 ? !after_cr_ : text[feed - 1] != '\r';
    if (!Put(text.substr(0, feed)) || (bare && !Put("\r")) || !Put("\n")) return 0;
    after_cr_ = false;
    text.remove_prefix(feed + 1);
  }
  if (!Put(text)) return 0;
  if (!text.empty()) after_cr_ = text.back() == '\r';
  return count;
}

CrLfBuffer::int_type CrLfBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

int CrLfBuffer::sync() {
  if (!Failure().empty()) return -1;
  return inner_->pubsync() == 0 || InnerFailed() ? 0 : -1;
}

void KeepLineFeeds(std::ostream& out) {
  if (auto* buffer = dynamic_cast<CrLfBuffer*>(out.rdbuf())) buffer->KeepLineFeeds();
}

void CheckWritten(const std::ostream& out) {
  if (!out.bad()) return;
  const auto* buffer = dynamic_cast<const ReportingBuffer*>(out.rdbuf());
  throw WriteError(buffer != nullptr && !buffer->Failure().empty()
                       ? buffer->Failure()
                       : std::generic_category().message(EIO));
}

}  // namespace tesqua
