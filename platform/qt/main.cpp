#include <QApplication>
#include <cstdio>
#include <cstring>

#include "platform/qt/application.h"
#include "platform/qt/fm_test.h"
#include "tesqua_version.h"

int main(int argc, char* argv[]) {
  // Answered before Qt looks for a display, so that it works anywhere.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs("tesqua " TESQUA_VERSION "\n", stdout);
    return 0;
  }
  tesqua::PreferX11();
  QApplication app(argc, argv);
  tesqua::ConfigureApplication();
  tesqua::fmTest window;
  window.show();
  return app.exec();
}
