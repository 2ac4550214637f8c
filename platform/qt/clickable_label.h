// A label that reports a click anywhere in its rectangle, as the window's command labels do.
#pragma once

#include <QLabel>

namespace tesqua {

class ClickableLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tesqua
