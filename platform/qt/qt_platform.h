// The window system as the logic sees it, on Qt: one window, fmTest, and the clipboard.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/widget_list_box.h"

class QCheckBox;
class QTimer;
class QListWidget;
class QWidget;

namespace tesqua {

class TextBox;

class QtPlatform : public QObject, public Platform {
  Q_OBJECT

 public:
  // What SetWindowProcedure hands back when it replaces the window's own handling.
  static constexpr ProcedureHandle kDefaultHandling = 1;

  // The window owns the platform.
  QtPlatform(QWidget& window, TextBox& text1, QListWidget& list1, QCheckBox& check1);

  // The window is going: the installed procedure is told so, with WM_DESTROY, once.
  void DeliverDestroy();
  // The window manager has framed the window: a placement made before the frame was known is
  // corrected, as if the frame had been known then.
  void FitPlacementToFrame();

  WindowHandle hWnd() const override;
  Size OuterSize() const override;
  Size ScreenSize() const override;
  void MoveWindow(double left, double top) override;
  void SetText1(std::u16string_view text) override;
  ListBox& List1() override { return list1_; }
  int Check1Value() const override;

  int GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) override;
  std::u16string ClipboardText() override;
  // How many times the clipboard has changed since the window was made.
  std::uint64_t ClipboardSequenceNumber() const { return sequence_number_; }
  bool EmptyClipboard(WindowHandle owner) override;

  bool AddClipboardFormatListener(WindowHandle window) override;
  ProcedureHandle SetWindowProcedure(WindowHandle window, WindowProcedure procedure) override;
  MessageResult CallWindowProc(ProcedureHandle previous, WindowHandle window, std::uint32_t message,
                               std::uintptr_t w_param, std::intptr_t l_param) override;
  void SetTimer(std::uintptr_t id, std::uint32_t milliseconds) override;
  void KillTimer(std::uintptr_t id) override;

  bool SetWindowPos(WindowHandle window, WindowHandle insert_after, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;
  void ShellExecute(WindowHandle parent, std::u16string_view verb, std::u16string_view file,
                    std::u16string_view parameters, std::u16string_view directory,
                    int show_command) override;
  void MessageBox(std::u16string_view prompt) override;
  void OpenInTextEditor(std::u16string_view file) override;
  std::u16string DecodeAnsi(std::string_view bytes) const override;

 private:
  void CountClipboardChange();
  void DeliverClipboardNotice();
  MessageResult Deliver(std::uint32_t message, std::uintptr_t w_param, std::intptr_t l_param);
  void RequireOwnWindow(WindowHandle window) const;

  QWidget& window_;
  TextBox& text1_;
  QCheckBox& check1_;
  WidgetListBox list1_;

  std::uint64_t sequence_number_ = 0;
  std::map<std::uintptr_t, QTimer*> timers_;  // children of this object
  QMetaObject::Connection listener_;
  WindowProcedure procedure_ = nullptr;
  std::vector<WindowProcedure> replaced_;  // handed out by SetWindowProcedure

  struct Placement {
    QPoint position;      // where MoveWindow put the frame's top-left
    QSize frame_margins;  // what the frame added to the window's size then
  };
  std::optional<Placement> placement_;
};

}  // namespace tesqua
