#include "scan/entry_list.h"

#include <string>

namespace tesqua {

void EntryList::AddItem(std::u16string_view item, int index) {
  if (index < 0 || index > ListCount()) {
    throw PlatformFailure("list index " + std::to_string(index) + " out of range");
  }
  items_.insert(items_.begin() + index, std::u16string(item));
}

std::u16string EntryList::List(int index) const {
  if (index < 0 || index >= ListCount()) {
    throw PlatformFailure("list index " + std::to_string(index) + " out of range");
  }
  return items_[std::size_t(index)];
}

void EntryList::SetListIndex(int index) {
  if (index != -1 && (index < 0 || index >= ListCount())) {
    throw PlatformFailure("list index " + std::to_string(index) + " out of range");
  }
  selected_ = index;
}

}  // namespace tesqua
