# Cross-compiles the tests for 64-bit Windows; the programs are built apart, with the toolchain
# named below.
set(KOV_MINGW x86_64-w64-mingw32)
set(KOV_MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KOV_PROGRAMS_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86_64-programs.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
