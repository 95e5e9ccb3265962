# What every Windows toolchain shares: Debian's mingw-w64 for the target triplet KOV_MINGW, in
# the thread model KOV_MINGW_THREADS, and programs that need no DLL but Windows' own.
#
# posix: the tests' toolchain. GoogleTest and std::thread need it, but its threads runtime
#        imports GetTickCount64, which Windows XP lacks.
# win32: the programs' toolchain. Nothing of the programs needs threads, and what it imports
#        Windows XP has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KOV_MINGW}-gcc-${KOV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KOV_MINGW}-g++-${KOV_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KOV_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KOV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The C++ runtime and libgcc are linked in (and winpthread, in the posix model). No time stamp in
# the PE header: it would be the clock's, and differ between two builds of one commit.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
