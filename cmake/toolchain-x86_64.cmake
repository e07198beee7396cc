# 64-bit Windows build from Linux: the build the tests run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRACKMOOR_TRIPLE x86_64-w64-mingw32)
# The -posix compilers: GCC 12's win32 thread model has no std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${BRACKMOOR_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRACKMOOR_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRACKMOOR_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRACKMOOR_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The emulator (the Wine wrapper) is set by CMakeLists.txt, which knows the build folder.
