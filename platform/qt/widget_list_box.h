// List1 as the library and the scan use it: a hidden QListWidget whose current row is the
// scan's cursor.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

class QListWidget;

namespace tesqua {

class WidgetListBox : public ListBox {
 public:
  explicit WidgetListBox(QListWidget& list) : list_(list) {}

  void AddItem(std::u16string_view item, int index) override;
  int ListCount() const override;
  std::u16string List(int index) const override;
  int ListIndex() const override;
  void SetListIndex(int index) override;

 private:
  void RequireItem(int index) const;

  QListWidget& list_;
};

}  // namespace tesqua
