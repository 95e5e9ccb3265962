# What both Windows toolchains share: Debian's mingw-w64 for the target triplet KOV_MINGW
# (posix threads, which GoogleTest needs), and a program that needs no DLL but Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KOV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KOV_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KOV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The C++ runtime, libgcc and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
