#include "platform/qt/application.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "tesqua_version.h"

namespace tesqua {

using namespace Qt::StringLiterals;

void PreferX11() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
}

namespace {

constexpr char kNeedsDesktop[] = "tesqua: needs a desktop session (X11 or XWayland); ";

QtMessageHandler qt_messages = nullptr;

void EndWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  // Qt's last word when no platform plugin could start, before it aborts.
  if (type == QtFatalMsg && text.contains("no Qt platform plugin could be initialized"_L1)) {
    std::fprintf(stderr, "%sno display could be opened (DISPLAY=%s)\n", kNeedsDesktop,
                 qgetenv("DISPLAY").constData());
    std::fflush(stderr);
    std::_Exit(1);
  }
  qt_messages(type, context, text);
}

}  // namespace

bool CanShowWindows() {
  if (qgetenv("QT_QPA_PLATFORM") == "xcb" && qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr, "%sDISPLAY is not set\n", kNeedsDesktop);
    return false;
  }
  return true;
}

void TrapDisplayFailure() {
  qt_messages = qInstallMessageHandler(&EndWithoutDisplay);
}

void ConfigureApplication() {
  QApplication::setApplicationName(u"tesqua"_s);
  QApplication::setApplicationVersion(QStringLiteral(TESQUA_VERSION));
  QApplication::setDesktopFileName(u"tesqua"_s);
  QApplication::setWindowIcon(ApplicationIcon());
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (const int size : {32, 64, 128, 256}) {
    icon.addFile(u":/icons/tesqua-%1.png"_s.arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace tesqua
