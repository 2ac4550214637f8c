# What both Windows cross-builds share; the toolchain file of each sets TESQUA_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR first. Debian's mingw-w64 with POSIX threads.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TESQUA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESQUA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESQUA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESQUA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 and later; wide (UTF-16) calls throughout.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                        NOMINMAX)
# One file per program: no DLL of the compiler's runtime beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
