#include "platform/qt/clickable_label.h"

#include <QMouseEvent>

namespace tesqua {

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  // A click is a press and a release of the left button inside the label.
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

}  // namespace tesqua
