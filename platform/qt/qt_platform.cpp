#include "platform/qt/qt_platform.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <set>

#include "clipwatch/clipwatch.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/started_program.h"
#include "platform/qt/text_box.h"
#include "scan/text_encoding.h"
#include "ui/layout.h"

namespace tesqua {

using namespace Qt::StringLiterals;

namespace {

// The Windows clipboard formats that stand for what a Qt clipboard can offer.
constexpr std::uint32_t kCfText = 1;
constexpr std::uint32_t kCfBitmap = 2;
constexpr std::uint32_t kCfOemText = 7;
constexpr std::uint32_t kCfDib = 8;
constexpr std::uint32_t kCfWave = 12;
constexpr std::uint32_t kCfUnicodeText = 13;
constexpr std::uint32_t kCfHdrop = 15;
constexpr std::uint32_t kCfDibV5 = 17;

bool IsPlainText(const QString& mime_type) {
  return mime_type == u"text/plain"_s || mime_type.startsWith(u"text/plain;"_s);
}

// The formats a Windows program would find on the clipboard for the same content: Windows
// offers text, pictures and file lists in several formats at once.
std::set<std::uint32_t> OfferedFormats(const QMimeData& data) {
  std::set<std::uint32_t> offered;
  const QStringList mime_types = data.formats();
  if (std::ranges::any_of(mime_types, IsPlainText)) {
    offered.insert({kCfText, kCfOemText, kCfUnicodeText});
  }
  if (data.hasImage()) offered.insert({kCfBitmap, kCfDib, kCfDibV5});
  if (data.hasUrls() && std::ranges::any_of(data.urls(), &QUrl::isLocalFile)) {
    offered.insert(kCfHdrop);
  }
  if (data.hasFormat(u"audio/wav"_s) || data.hasFormat(u"audio/x-wav"_s)) {
    offered.insert(kCfWave);
  }
  return offered;
}

QScreen& PrimaryScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) throw PlatformFailure("no screen");
  return *screen;
}

// $VISUAL and $EDITOR mostly name terminal editors (vi, nano), so they are run in the
// desktop's terminal emulator; without one they are passed over for the desktop's own choice.
bool StartEditorFromVariable(const char* variable, const QString& file, QObject& owner,
                             const std::function<void()>& on_failure) {
  QStringList command = QProcess::splitCommand(qEnvironmentVariable(variable));
  if (command.isEmpty() || QStandardPaths::findExecutable(command.front()).isEmpty()) {
    return false;
  }
  const QString terminal = QStandardPaths::findExecutable(u"x-terminal-emulator"_s);
  if (terminal.isEmpty()) return false;
  command.prepend(u"-e"_s);
  command.append(file);
  return StartedProgram::Start(terminal, command, owner, on_failure);
}

}  // namespace

QtPlatform::QtPlatform(QWidget& window, TextBox& text1, QListWidget& list1, QCheckBox& check1)
    : QObject(&window), window_(window), text1_(text1), check1_(check1), list1_(list1) {
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &QtPlatform::CountClipboardChange);
}

void QtPlatform::DeliverDestroy() {
  if (procedure_ != nullptr) Deliver(WM_DESTROY, 0, 0);
  disconnect(listener_);
  procedure_ = nullptr;
}

void QtPlatform::FitPlacementToFrame() {
  if (!placement_ || !window_.isVisible() || window_.windowState() != Qt::WindowNoState) return;
  const QSize margins = window_.frameGeometry().size() - window_.size();
  if (margins == placement_->frame_margins) return;
  // The frame made the outer size grow after the window was placed: move it as the placement
  // (flush right, centred vertically) would have with the frame known.
  const QSize growth = margins - placement_->frame_margins;
  const QPoint position = placement_->position - QPoint(growth.width(), growth.height() / 2);
  placement_.reset();
  window_.move(position);
}

WindowHandle QtPlatform::hWnd() const {
  // The widget, not its X window: the X window is created anew when the window's flags change.
  return reinterpret_cast<WindowHandle>(&window_);
}

Size QtPlatform::OuterSize() const {
  // Before the first show the frame is unknown and this is the window's own size;
  // FitPlacementToFrame makes up for it once the window manager has framed the window.
  const QRect frame = window_.frameGeometry();
  return {double(frame.width()), double(frame.height())};
}

Size QtPlatform::ScreenSize() const {
  const QRect screen = PrimaryScreen().geometry();
  return {double(screen.width()), double(screen.height())};
}

void QtPlatform::MoveWindow(double left, double top) {
  // Positions count from the primary screen's top-left corner, as they do on Windows.
  const QPoint position =
      PrimaryScreen().geometry().topLeft() + QPoint(int(std::lround(left)), int(std::lround(top)));
  window_.move(position);
  placement_ = Placement{position, window_.frameGeometry().size() - window_.size()};
}

void QtPlatform::SetText1(std::u16string_view text) {
  text1_.SetText(ToQString(text));
}

int QtPlatform::Check1Value() const {
  return check1_.isChecked() ? 1 : 0;
}

int QtPlatform::GetPriorityClipboardFormat(std::span<const std::uint32_t> formats) {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (data == nullptr || data->formats().isEmpty()) return 0;
  const std::set<std::uint32_t> offered = OfferedFormats(*data);
  for (const std::uint32_t format : formats) {
    if (offered.contains(format)) return int(format);
  }
  return -1;
}

std::u16string QtPlatform::ClipboardText() {
  // On X11 this asks the owner and waits for its answer, handling events meanwhile: a notice
  // may reach the window procedure before it returns.
  return ToU16String(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
}

bool QtPlatform::EmptyClipboard(WindowHandle owner) {
  RequireOwnWindow(owner);
  // On X11 this gives the clipboard to no one, whoever held it.
  QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
  return true;
}

bool QtPlatform::AddClipboardFormatListener(WindowHandle window) {
  RequireOwnWindow(window);
  if (!listener_) {
    listener_ = connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
                        &QtPlatform::DeliverClipboardNotice);
  }
  return true;
}

ProcedureHandle QtPlatform::SetWindowProcedure(WindowHandle window, WindowProcedure procedure) {
  RequireOwnWindow(window);
  const ProcedureHandle previous =
      procedure_ == nullptr ? kDefaultHandling : reinterpret_cast<ProcedureHandle>(procedure_);
  if (procedure_ != nullptr) replaced_.push_back(procedure_);
  procedure_ = procedure;
  return previous;
}

MessageResult QtPlatform::CallWindowProc(ProcedureHandle previous, WindowHandle window,
                                         std::uint32_t message, std::uintptr_t w_param,
                                         std::intptr_t l_param) {
  RequireOwnWindow(window);
  if (previous == kDefaultHandling) return 0;  // Qt has already handled its own events
  for (const WindowProcedure procedure : replaced_) {
    if (reinterpret_cast<ProcedureHandle>(procedure) == previous) {
      return procedure(window, message, w_param, l_param);
    }
  }
  throw PlatformFailure("not a window procedure of this window");
}

void QtPlatform::SetTimer(std::uintptr_t id, std::uint32_t milliseconds) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { Deliver(WM_TIMER, id, 0); });
  }
  timer->start(int(std::min<std::uint32_t>(milliseconds, INT_MAX)));
}

void QtPlatform::KillTimer(std::uintptr_t id) {
  if (const auto found = timers_.find(id); found != timers_.end()) found->second->stop();
}

bool QtPlatform::SetWindowPos(WindowHandle window, WindowHandle insert_after, int x, int y, int cx,
                              int cy, std::uint32_t flags) {
  RequireOwnWindow(window);
  if (insert_after != kHwndTopmost && insert_after != kHwndNotopmost) {
    throw PlatformFailure("only the topmost band can be chosen");
  }
  const bool topmost = insert_after == kHwndTopmost;
  if (window_.windowFlags().testFlag(Qt::WindowStaysOnTopHint) != topmost) {
    const bool was_visible = window_.isVisible();
    const QPoint position = window_.pos();
    window_.setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    // New flags hide a shown window: show it again where it was.
    if (was_visible) {
      window_.move(position);
      window_.show();
    }
  }
  if ((flags & kSwpNoMove) == 0) window_.move(x, y);
  if ((flags & kSwpNoSize) == 0) window_.resize(cx, cy);
  return true;
}

void QtPlatform::ShellExecute(WindowHandle /*parent*/, std::u16string_view verb,
                              std::u16string_view file, std::u16string_view /*parameters*/,
                              std::u16string_view /*directory*/, int /*show_command*/) {
  if (verb != u"open") throw PlatformFailure("only the verb open is known");
  // As for the editor: the desktop's opener missing, or failing soon (no browser), is told in a
  // box naming the address.
  const auto failed = [this, message = std::u16string(kWebPageFailedMessage) +
                                       std::u16string(file)] { MessageBox(message); };
  if (!StartedProgram::Start(u"xdg-open"_s, {ToQString(file)}, *this, failed)) failed();
}

void QtPlatform::MessageBox(std::u16string_view prompt) {
  QString text = ToQString(prompt);
  text.replace(u"\r\n"_s, u"\n"_s);
  QMessageBox box(QMessageBox::NoIcon, window_.windowTitle(), text, QMessageBox::Ok, &window_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void QtPlatform::OpenInTextEditor(std::u16string_view file) {
  const QString path = ToQString(file);
  // A program that starts but soon fails (xdg-open without a handler for text files) has not
  // opened the file either: the user is told which file to open, as when none starts.
  const auto failed = [this, message = std::u16string(kEditorFailedMessage) +
                                       std::u16string(file)] { MessageBox(message); };
  if (StartEditorFromVariable("VISUAL", path, *this, failed) ||
      StartEditorFromVariable("EDITOR", path, *this, failed) ||
      StartedProgram::Start(u"xdg-open"_s, {path}, *this, failed)) {
    return;
  }
  throw PlatformFailure("no text editor could be started");
}

std::u16string QtPlatform::DecodeAnsi(std::string_view bytes) const {
  return DecodeGbk(bytes);
}

void QtPlatform::CountClipboardChange() {
  ++sequence_number_;
}

void QtPlatform::DeliverClipboardNotice() {
  Deliver(WM_CLIPBOARDUPDATE, 0, 0);
}

MessageResult QtPlatform::Deliver(std::uint32_t message, std::uintptr_t w_param,
                                  std::intptr_t l_param) {
  // Until a procedure is installed, messages get the window's default handling.
  if (procedure_ == nullptr)
    return CallWindowProc(kDefaultHandling, hWnd(), message, w_param, l_param);
  try {
    return procedure_(hWnd(), message, w_param, l_param);
  } catch (...) {
    return 0;  // nothing may unwind into Qt's event loop
  }
}

void QtPlatform::RequireOwnWindow(WindowHandle window) const {
  if (window != hWnd()) throw PlatformFailure("not this program's window");
}

}  // namespace tesqua
