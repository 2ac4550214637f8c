// A list box held in memory, for the tests' fake platform and the library's tests.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tesqua::testing {

class EntryList : public ListBox {
 public:
  EntryList() = default;
  explicit EntryList(std::vector<std::u16string> items) : items_(std::move(items)) {}

  void AddItem(std::u16string_view item, int index) override {
    if (index < 0 || index > ListCount()) Fail(index);
    items_.insert(items_.begin() + index, std::u16string(item));
  }
  int ListCount() const override { return int(items_.size()); }
  std::u16string List(int index) const override {
    if (index < 0 || index >= ListCount()) Fail(index);
    return items_[std::size_t(index)];
  }
  int ListIndex() const override { return selected_; }
  void SetListIndex(int index) override {
    if (index != -1 && (index < 0 || index >= ListCount())) Fail(index);
    selected_ = index;
  }

  const std::vector<std::u16string>& items() const { return items_; }

 private:
  [[noreturn]] static void Fail(int index) {
    throw PlatformFailure("list index " + std::to_string(index) + " out of range");
  }

  std::vector<std::u16string> items_;
  int selected_ = -1;
};

}  // namespace tesqua::testing
