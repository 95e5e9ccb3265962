# The flags Debian builds its packages with, from dpkg-buildflags, with every hardening feature
# on: lintian checks the shipped binary for them. Run from the source folder, so its file-prefix
# map leaves no build path in the binary.
foreach(flags CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                dpkg-buildflags --get ${flags}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE KOV_DEB_${flags}
        OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} ${KOV_DEB_CPPFLAGS} ${KOV_DEB_CXXFLAGS}")
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} ${KOV_DEB_LDFLAGS}")
