#include "cli/scan_command.h"

namespace tesqua {

const std::string_view kTesquaVersion = TESQUA_VERSION;

}  // namespace tesqua
