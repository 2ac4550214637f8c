// Windows reads large files through FileReader: nothing is mapped.
#include "cli/mapped_file.h"

namespace tesqua {

MappedFile::MappedFile(const std::filesystem::path&) {}

MappedFile::~MappedFile() = default;

void MappedFile::Release(const char*) {}

}  // namespace tesqua
