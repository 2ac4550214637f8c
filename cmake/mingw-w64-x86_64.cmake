# Cross-builds the 64-bit Windows programs (x64) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESQUA_MINGW_PREFIX x86_64-w64-mingw32)
# The processor the programs' manifests name.
set(TESQUA_MANIFEST_ARCH amd64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
