// Standard output as tesqua-scan writes it: a write that the system refuses (a full disk, a
// reader that has gone) ends the run with the system's reason, never a verdict.
#pragma once

#include <memory>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>

namespace tesqua {

// A refused write; what() is the system's reason ("No space left on device").
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A stream buffer that keeps the system's reason when it cannot write.
class ReportingBuffer : public std::streambuf {
 public:
  const std::string& Failure() const { return failure_; }

 protected:
  bool Fail(std::string reason) {
    if (failure_.empty()) failure_ = std::move(reason);
    return false;
  }

 private:
  std::string failure_;
};

// Bytes gathered and handed to the system in blocks; each line as it ends when a person
// watches. The first refused write is the last: nothing is written after it.
class BlockBuffer : public ReportingBuffer {
 public:
  explicit BlockBuffer(bool line_by_line) : line_by_line_(line_by_line) {
    setp(block_, block_ + sizeof block_);
  }

 protected:
  // Writes all of bytes, or keeps the system's reason through Fail and returns false.
  virtual bool WriteAll(std::string_view bytes) = 0;

  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;

 private:
  bool Drain();

  bool line_by_line_;
  char block_[8192];
};

// Windows text in files and pipes: each line feed that no carriage return precedes goes on as
// CR LF (older Notepads show LF-only text as one line). The bytes go on to inner at once.
class CrLfBuffer : public ReportingBuffer {
 public:
  explicit CrLfBuffer(std::unique_ptr<ReportingBuffer> inner) : inner_(std::move(inner)) {}
  // For lists of names ended by NUL, which are no text: the bytes go on as they are.
  void KeepLineFeeds() { translate_ = false; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;

 private:
  bool Put(std::string_view bytes);
  bool InnerFailed();  // keeps inner's reason, returns false

  std::unique_ptr<ReportingBuffer> inner_;
  bool translate_ = true;
  bool after_cr_ = false;
};

// Makes out's CrLfBuffer, if it has one, pass line feeds on as they are.
void KeepLineFeeds(std::ostream& out);

// Standard output's buffer on this system, or null where the C library's is kept.
std::unique_ptr<ReportingBuffer> StandardOutputBuffer();

// Throws WriteError when out has failed, with the reason its buffer kept.
void CheckWritten(const std::ostream& out);

// A stream's own buffer again when it goes: the streams are flushed once more at exit.
class BufferSwap {
 public:
  BufferSwap(std::ostream& stream, std::unique_ptr<std::streambuf> buffer)
      : stream_(stream), buffer_(std::move(buffer)) {
    if (buffer_) before_ = stream_.rdbuf(buffer_.get());
  }
  ~BufferSwap() {
    if (!buffer_) return;
    stream_.flush();
    stream_.rdbuf(before_);
  }
  BufferSwap(const BufferSwap&) = delete;
  BufferSwap& operator=(const BufferSwap&) = delete;

 private:
  std::ostream& stream_;
  std::unique_ptr<std::streambuf> buffer_;
  std::streambuf* before_ = nullptr;
};

}  // namespace tesqua
