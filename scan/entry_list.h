// A list box held in memory: the library for programs without a window.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tesqua {

class EntryList : public ListBox {
 public:
  EntryList() = default;
  explicit EntryList(std::vector<std::u16string> items) : items_(std::move(items)) {}

  void AddItem(std::u16string_view item, int index) override;
  int ListCount() const override { return int(items_.size()); }
  std::u16string List(int index) const override;
  int ListIndex() const override { return selected_; }
  void SetListIndex(int index) override;

  const std::vector<std::u16string>& items() const { return items_; }

 private:
  std::vector<std::u16string> items_;
  int selected_ = -1;
};

}  // namespace tesqua
