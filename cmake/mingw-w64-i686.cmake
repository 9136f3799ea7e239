# Cross build for 32-bit Windows, for the player plug-in alone: the player is
# a 32-bit program and loads only 32-bit DLLs. Nothing built with it runs
# here (this machine's Wine has no 32-bit half), so there is no emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
