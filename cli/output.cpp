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

void CheckWritten(const std::ostream& out) {
  if (!out.bad()) return;
  const auto* buffer = dynamic_cast<const ReportingBuffer*>(out.rdbuf());
  throw WriteError(buffer != nullptr && !buffer->Failure().empty()
                       ? buffer->Failure()
                       : std::generic_category().message(EIO));
}

}  // namespace tesqua
