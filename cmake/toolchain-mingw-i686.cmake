# Cross-compiles the tests for 32-bit Windows; the programs for users are built apart, with
# the toolchain named below.
set(KOV_MINGW i686-w64-mingw32)
set(KOV_MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KOV_PROGRAMS_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686-programs.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
