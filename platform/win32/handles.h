// Small owners of Win32 resources. Copying is deleted so that nothing is released twice.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/win32/win32.h"

namespace tesqua::win32 {

// The clipboard, open for one window until the session ends. Opening never waits: when
// another program holds the clipboard, the session is not open and the caller tries later.
class ClipboardSession {
 public:
  explicit ClipboardSession(HWND owner);
  ~ClipboardSession();
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;

  bool is_open() const { return open_; }

 private:
  bool open_ = false;
};

// A global memory block locked for reading; the size bounds every read of it.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL block);
  ~GlobalLockGuard();
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

  const void* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  HGLOBAL block_;
  const void* data_;
  std::size_t size_;
};

// A font, brush or other GDI object, deleted with its owner.
template <typename Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  ~GdiObject() { Reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  Handle get() const { return handle_; }

 private:
  void Reset() {
    if (handle_ != nullptr) DeleteObject(handle_);
    handle_ = nullptr;
  }
  Handle handle_ = nullptr;
};

// A kernel handle, closed with its owner.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

 private:
  HANDLE handle_;
};

// COM for the user-interface thread, which the shell's "open" verb may need.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_ = false;
};

}  // namespace tesqua::win32
