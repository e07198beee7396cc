# 32-bit Windows build from Linux: the release build. It is compiled, not run here
# (32-bit Wine is not installable on this Debian), so it has no emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRACKMOOR_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${BRACKMOOR_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRACKMOOR_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRACKMOOR_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRACKMOOR_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
