#include "platform/qt/text_box.h"

#include <QEvent>
#include <QTextBlockFormat>
#include <QTextCursor>

namespace tesqua {

TextBox::TextBox(QWidget* parent) : QTextEdit(parent) {
  setAcceptRichText(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QTextEdit::WidgetWidth);
  setTabChangesFocus(true);
}

void TextBox::SetText(const QString& text) {
  setPlainText(text);
  ApplyLineHeight();
}

void TextBox::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) ApplyLineHeight();
}

// The CJK faces found on Linux have a tall line spacing (about 1.45 em); the Song face the box
// was laid out for has almost none, and the instructions only fit with lines of that height.
void TextBox::ApplyLineHeight() {
  QTextBlockFormat format;
  format.setLineHeight(fontInfo().pixelSize() + 2, QTextBlockFormat::FixedHeight);
  QTextCursor cursor(document());
  cursor.select(QTextCursor::Document);
  cursor.mergeBlockFormat(format);
}

}  // namespace tesqua
