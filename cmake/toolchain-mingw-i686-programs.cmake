# Cross-compiles the programs for users, for 32-bit Windows from Windows XP SP3 on: the version
# written into them is XP's (5.01), and the release check holds their imports to it.
set(KOV_MINGW i686-w64-mingw32)
set(KOV_MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT
       " -Wl,--major-subsystem-version,5,--minor-subsystem-version,1"
       " -Wl,--major-os-version,5,--minor-os-version,1")
