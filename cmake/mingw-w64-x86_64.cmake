# Cross-compiles the core, dravelo-cli.exe and the core tests for 64-bit Windows with Debian's
# mingw-w64 compiler (the posix thread model, which std::thread and std::mutex need). The
# programs are linked statically, so that they run under wine or on Windows without the
# compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DRAVELO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DRAVELO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DRAVELO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DRAVELO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DRAVELO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and the scan comparison run the programs under wine.
find_program(DRAVELO_WINE NAMES wine64 wine)
if(DRAVELO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DRAVELO_WINE})
endif()
