// Creating a file in one step, which only the system's own calls can do.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/platform.h"

namespace tesqua {

// Creates file holding exactly bytes, so that no other program ever sees it partly written:
// the bytes go to a temporary file in the same folder, which is flushed to disk and then given
// file's name only if no directory entry of that name exists by then. Returns false, having
// written nothing, when such an entry exists; throws PlatformFailure with the system's reason
// when the file cannot be created. No temporary file is left behind either way.
bool CreateNewFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace tesqua
