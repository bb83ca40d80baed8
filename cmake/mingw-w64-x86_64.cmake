# Cross build for 64-bit Windows with Debian's mingw-w64 compilers. The -posix variants are the
# ones whose C++ library has std::thread and std::mutex (on winpthreads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PENWICK_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${PENWICK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PENWICK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PENWICK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PENWICK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the cross-built tests under Wine.
find_program(PENWICK_WINE wine)
if(PENWICK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PENWICK_WINE})
endif()
