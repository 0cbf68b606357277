# Cross-building the Windows programs on Debian with mingw-w64, the variant
# with POSIX threads (std::thread and std::mutex need it):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# `make windows` does this. The programs run under wine here; ctest starts
# the test programs through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(dimlet_mingw x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${dimlet_mingw}-gcc-posix)  # GoogleTest's project asks for C too
set(CMAKE_CXX_COMPILER ${dimlet_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${dimlet_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${dimlet_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(DIMLET_WINE wine)
if(DIMLET_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DIMLET_WINE})
endif()
