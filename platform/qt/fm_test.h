// The main window fmTest: its controls as ui/layout.h gives them, created with the window as
// their owner and placed without a layout manager, so that they keep their geometry when the
// window is resized. Its load event runs at the end of construction, before the first show.
#pragma once

#include <string_view>

#include <QWidget>

class QCheckBox;
class QListWidget;

namespace tesqua {

class ClickableLabel;
class QtPlatform;
class TextBox;

class fmTest : public QWidget {
  Q_OBJECT

 public:
  explicit fmTest(QWidget* parent = nullptr);
  ~fmTest() override;

  QtPlatform& Backend() { return *platform_; }

 protected:
  void moveEvent(QMoveEvent* event) override;

 private:
  void CreateWindowFrame();
  ClickableLabel* CreateLabel(std::string_view name, void (fmTest::*on_click)());
  void CreateCheck1();
  void CreateText1();
  void CreateList1();

  void OnCheck1Click();
  void OnLabel1Click();
  void OnLabel3Click();

  ClickableLabel* label1_ = nullptr;
  QCheckBox* check1_ = nullptr;
  TextBox* text1_ = nullptr;
  ClickableLabel* label3_ = nullptr;
  QListWidget* list1_ = nullptr;
  QtPlatform* platform_ = nullptr;
};

}  // namespace tesqua
