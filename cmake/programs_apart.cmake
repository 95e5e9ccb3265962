# Builds KOVExtractor.exe and kovdisc.exe in a build of their own (the folder "programs"), with
# KOV_PROGRAMS_TOOLCHAIN, and puts them in this build's folder. Here they are imported targets,
# so the tests and the zip name them as if this build had made them.
include(ExternalProject)
set(kov_programs KOVExtractor kovdisc)
set(kov_program_files)
foreach(program ${kov_programs})
    list(APPEND kov_program_files ${PROJECT_BINARY_DIR}/${program}.exe)
endforeach()
ExternalProject_Add(programs
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/programs
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${KOV_PROGRAMS_TOOLCHAIN}
               -DCMAKE_BUILD_TYPE=Release
               -DKOV_PROGRAMS_ONLY=ON
               -DKOV_PROGRAMS_DIR=${PROJECT_BINARY_DIR}
    BUILD_ALWAYS ON # the sub-build knows its sources; this build does not
    BUILD_BYPRODUCTS ${kov_program_files}
    INSTALL_COMMAND "")
foreach(program ${kov_programs})
    add_executable(${program} IMPORTED GLOBAL)
    set_target_properties(${program} PROPERTIES IMPORTED_LOCATION
                                                ${PROJECT_BINARY_DIR}/${program}.exe)
    add_dependencies(${program} programs)
endforeach()

# A zip of both programs with their read-me, and its SHA-256 beside it, made by
# cmake/release_zip.py so that two builds of one commit give the same bytes:
# cmake --build --preset windows-x86 --target package
configure_file(${PROJECT_SOURCE_DIR}/cli/read_me_windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kov_zip_name "KOVExtractor-${PROJECT_VERSION}-win32")
else()
    set(kov_zip_name "KOVExtractor-${PROJECT_VERSION}-win64")
endif()
set(kov_zip ${PROJECT_BINARY_DIR}/${kov_zip_name}.zip)
# A build folder of older sources made the zip with CPack; its settings there would reserve the
# target's name.
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/cmake/release_zip.py ${kov_zip} ${kov_zip_name}
            ${KOV_SOURCE_DATE_EPOCH} ${kov_program_files} ${PROJECT_BINARY_DIR}/README.txt
    COMMAND ${CMAKE_COMMAND} -E echo "Made ${kov_zip}"
    DEPENDS programs ${PROJECT_SOURCE_DIR}/cmake/release_zip.py
    BYPRODUCTS ${kov_zip} ${kov_zip}.sha256
    VERBATIM)
