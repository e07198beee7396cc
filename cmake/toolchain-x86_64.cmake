# 64-bit Windows build from Linux: the build the tests run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRACKMOOR_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
# The emulator (the Wine wrapper) is set by CMakeLists.txt, which knows the build folder.
