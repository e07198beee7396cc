# What both Windows builds from Linux share; the including toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and BRACKMOOR_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)
# The -posix compilers: GCC 12's win32 thread model has no std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${BRACKMOOR_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRACKMOOR_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRACKMOOR_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRACKMOOR_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
