// Text1: a plain-text, multi-line box without scroll bars.
#pragma once

#include <QTextEdit>

namespace tesqua {

class TextBox : public QTextEdit {
  Q_OBJECT

 public:
  explicit TextBox(QWidget* parent = nullptr);

  // Replaces the whole text; CR LF, CR and LF each break a line.
  void SetText(const QString& text);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void ApplyLineHeight();
};

}  // namespace tesqua
