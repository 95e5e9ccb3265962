# Cross-compiles the programs for 64-bit Windows, in the same thread model as the 32-bit ones.
set(KOV_MINGW x86_64-w64-mingw32)
set(KOV_MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
