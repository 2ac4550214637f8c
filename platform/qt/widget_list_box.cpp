#include "platform/qt/widget_list_box.h"

#include <QListWidget>

#include "platform/qt/qt_text.h"

namespace tesqua {

void WidgetListBox::AddItem(std::u16string_view item, int index) {
  if (index < 0 || index > ListCount()) throw PlatformFailure("List1: no such position");
  list_.insertItem(index, ToQString(item));
}

int WidgetListBox::ListCount() const {
  return list_.count();
}

std::u16string WidgetListBox::List(int index) const {
  RequireItem(index);
  return ToU16String(list_.item(index)->text());
}

int WidgetListBox::ListIndex() const {
  return list_.currentRow();
}

void WidgetListBox::SetListIndex(int index) {
  if (index != -1) RequireItem(index);
  list_.setCurrentRow(index);
}

void WidgetListBox::RequireItem(int index) const {
  if (index < 0 || index >= ListCount()) throw PlatformFailure("List1: no such item");
}

}  // namespace tesqua
