# Builds kovdisc for arm64 in a build of its own (the folder "kovdisc-arm64"), as its Debian
# package ships it: Release, Debian's flags, Debian's cross compiler. The target kovdisc here is
# a script beside it that runs that program under qemu-user, so the tests, which are this
# machine's programs, start the arm64 kovdisc wherever they start kovdisc.
include(ExternalProject)
set(KOVDISC_ARM64_DIR ${PROJECT_BINARY_DIR}/kovdisc-arm64)
set(kovdisc_arm64 ${KOVDISC_ARM64_DIR}/cli/kovdisc)
ExternalProject_Add(kovdisc_arm64
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${KOVDISC_ARM64_DIR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-aarch64-linux-gnu.cmake
               -DCMAKE_BUILD_TYPE=Release
               -DKOV_KOVDISC_ONLY=ON
    BUILD_ALWAYS ON # the sub-build knows its sources; this build does not
    BUILD_BYPRODUCTS ${kovdisc_arm64}
    INSTALL_COMMAND "")

set(kovdisc_script ${PROJECT_BINARY_DIR}/kovdisc)
file(CONFIGURE OUTPUT ${kovdisc_script} CONTENT [[#!/bin/sh
# kovdisc for arm64, run under qemu-user.
exec "@PROJECT_SOURCE_DIR@/cmake/qemu-arm64.sh" "@kovdisc_arm64@" "$@"
]] @ONLY)
file(CHMOD ${kovdisc_script} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
add_executable(kovdisc IMPORTED GLOBAL)
set_target_properties(kovdisc PROPERTIES IMPORTED_LOCATION ${kovdisc_script})
add_dependencies(kovdisc kovdisc_arm64)
