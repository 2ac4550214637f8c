#include "platform/qt/application.h"

#include <QApplication>

#include "tesqua_version.h"

namespace tesqua {

using namespace Qt::StringLiterals;

void PreferX11() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
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
