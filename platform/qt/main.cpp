#include <QApplication>
#include <optional>

#include "platform/qt/application.h"
#include "platform/qt/command_line.h"
#include "platform/qt/fm_test.h"

int main(int argc, char* argv[]) {
  if (const std::optional<int> status = tesqua::FollowCommandLine(argc, argv)) return *status;
  tesqua::PreferX11();
  if (!tesqua::CanShowWindows()) return 1;
  tesqua::TrapDisplayFailure();
  QApplication app(argc, argv);
  tesqua::ConfigureApplication();
  tesqua::fmTest window;
  window.show();
  return app.exec();
}
