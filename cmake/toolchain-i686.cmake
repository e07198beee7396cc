# 32-bit Windows build from Linux: the release build. It is compiled, not run here
# (32-bit Wine is not installable on this Debian), so it has no emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRACKMOOR_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
