#include "platform/qt/fm_test.h"

#include <QCheckBox>
#include <QFont>
#include <QIcon>
#include <QListWidget>
#include <QPalette>
#include <exception>

#include "clipwatch/clipwatch.h"
#include "platform/qt/application.h"
#include "platform/qt/clickable_label.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/text_box.h"
#include "ui/form.h"
#include "ui/layout.h"

namespace tesqua {

using namespace Qt::StringLiterals;

namespace {

QColor ToQColor(Rgb rgb) {
  return QColor(rgb.red, rgb.green, rgb.blue);
}

QRect Geometry(const ControlLayout& control) {
  const PixelRect pixels = control.twips.ToPixels();
  return QRect(pixels.left, pixels.top, pixels.width, pixels.height);
}

// The control's colours, its geometry and its opaque background.
void ApplyLayout(QWidget& widget, const ControlLayout& control, QPalette::ColorRole fore_role,
                 QPalette::ColorRole back_role) {
  widget.setObjectName(QString::fromUtf8(control.name.data(), qsizetype(control.name.size())));
  widget.setGeometry(Geometry(control));
  QPalette palette = widget.palette();
  palette.setColor(fore_role, ToQColor(control.fore));
  palette.setColor(back_role, ToQColor(control.back));
  widget.setPalette(palette);
  widget.setBackgroundRole(back_role);
  widget.setAutoFillBackground(true);
  widget.setVisible(control.visible);
}

// The Song face the window was drawn with, then faces that have its glyphs on Linux; the last
// one comes with the fonts script/bootstrap installs.
QFont SongFont(const FontSpec& layout_font, const QString& last_resort) {
  QFont font;
  font.setFamilies({ToQString(layout_font.face), u"SimSun"_s, u"NSimSun"_s, last_resort});
  font.setPointSizeF(layout_font.points);
  font.setWeight(QFont::Weight(layout_font.weight));
  return font;
}

// The window's own font, which the labels, the check box and the list inherit.
constexpr FontSpec kDefaultFont{u"宋体", 9, 400, 134};

// Commands run from Qt's event loop, which no exception may reach; a command that fails has
// nothing more to do.
template <typename Command>
void RunCommand(Command command) {
  try {
    command();
  } catch (const std::exception&) {
  }
}

}  // namespace

fmTest::fmTest(QWidget* parent) : QWidget(parent) {
  CreateWindowFrame();
  label1_ = CreateLabel("Label1", &fmTest::OnLabel1Click);
  CreateCheck1();
  CreateText1();
  label3_ = CreateLabel("Label3", &fmTest::OnLabel3Click);
  CreateList1();
  setTabOrder(text1_, check1_);
  text1_->setFocus();

  platform_ = new QtPlatform(*this, *text1_, *list1_, *check1_);
  Form_Load(*platform_);
}

fmTest::~fmTest() {
  platform_->DeliverDestroy();
  ResetClipboardWatch();
}

void fmTest::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  platform_->FitPlacementToFrame();
}

void fmTest::CreateWindowFrame() {
  setObjectName(u"fmTest"_s);
  setWindowTitle(ToQString(kCaption));
  setWindowIcon(ApplicationIcon());
  setFont(SongFont(kDefaultFont, u"Noto Sans CJK SC"_s));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ToQColor(kWindowBackColor));
  setPalette(palette);
  setAutoFillBackground(true);
  const PixelRect client = kClientTwips.ToPixels();
  resize(client.width, client.height);
}

// A label that raises its click event anywhere in its rectangle, aligned as the layout says.
ClickableLabel* fmTest::CreateLabel(std::string_view name, void (fmTest::*on_click)()) {
  const ControlLayout& layout = Control(name);
  auto* label = new ClickableLabel(ToQString(layout.caption), this);
  const Qt::Alignment horizontal =
      layout.alignment == Alignment::kCenter ? Qt::AlignHCenter : Qt::AlignLeft;
  label->setAlignment(horizontal | Qt::AlignVCenter);
  ApplyLayout(*label, layout, QPalette::WindowText, QPalette::Window);
  connect(label, &ClickableLabel::clicked, this, on_click);
  return label;
}

void fmTest::CreateCheck1() {
  const ControlLayout& layout = Control("Check1");
  check1_ = new QCheckBox(ToQString(layout.caption), this);
  check1_->setChecked(true);  // matches the topmost state start-up sets
  ApplyLayout(*check1_, layout, QPalette::WindowText, QPalette::Window);
  connect(check1_, &QCheckBox::clicked, this, &fmTest::OnCheck1Click);
}

void fmTest::CreateText1() {
  const ControlLayout& layout = Control("Text1");
  text1_ = new TextBox(this);
  text1_->setFont(SongFont(kText1Font, u"Noto Serif CJK SC"_s));
  ApplyLayout(*text1_, layout, QPalette::Text, QPalette::Base);
  text1_->SetText(ToQString(Instructions()));
}

void fmTest::CreateList1() {
  const ControlLayout& layout = Control("List1");
  list1_ = new QListWidget(this);
  list1_->setSelectionMode(QAbstractItemView::SingleSelection);
  list1_->setSortingEnabled(false);
  list1_->setFocusPolicy(Qt::NoFocus);
  ApplyLayout(*list1_, layout, QPalette::Text, QPalette::Base);
}

void fmTest::OnCheck1Click() {
  RunCommand([this] { Check1_Click(*platform_); });
}

void fmTest::OnLabel1Click() {
  RunCommand([this] { Label1_Click(*platform_); });
}

void fmTest::OnLabel3Click() {
  RunCommand([this] { Label3_Click(*platform_); });
}

}  // namespace tesqua
