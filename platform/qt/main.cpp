#include <QApplication>

#include "platform/qt/application.h"
#include "platform/qt/fm_test.h"

int main(int argc, char* argv[]) {
  tesqua::PreferX11();
  QApplication app(argc, argv);
  tesqua::ConfigureApplication();
  tesqua::fmTest window;
  window.show();
  return app.exec();
}
