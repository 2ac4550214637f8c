# Cross-builds the 32-bit Windows programs (x86) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TESQUA_MINGW_PREFIX i686-w64-mingw32)
# The processor the programs' manifests name.
set(TESQUA_MANIFEST_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# SSE2, as on x64, is the least the scan's vector code builds on: every processor since the
# Pentium 4 has it, and Windows 8 and later require it. With it the compiler realigns the
# stack at each function's entry, which 32-bit Windows keeps at 4 bytes only.
# gcc 12 warns, wrongly, of overlapping copies in "text" + std::string on 32-bit targets
# (gcc bug 105651).
set(CMAKE_C_FLAGS_INIT "-msse2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -Wno-restrict")
