#include "platform/win32/handles.h"

#include <objbase.h>

#include "platform/platform.h"

namespace tesqua::win32 {

ClipboardSession::ClipboardSession(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}

ClipboardSession::~ClipboardSession() {
  if (open_) CloseClipboard();
}

GlobalLockGuard::GlobalLockGuard(HGLOBAL block)
    : block_(block), data_(block != nullptr ? GlobalLock(block) : nullptr), size_(0) {
  if (data_ == nullptr) throw PlatformFailure("a clipboard block could not be locked");
  size_ = GlobalSize(block_);
}

GlobalLockGuard::~GlobalLockGuard() {
  GlobalUnlock(block_);
}

ComApartment::ComApartment() {
  initialised_ =
      SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

ComApartment::~ComApartment() {
  if (initialised_) CoUninitialize();
}

}  // namespace tesqua::win32
