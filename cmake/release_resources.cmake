# kov_release_resources(TARGET DESCRIPTION) gives a Windows program its manifest and its version
# resource, made from the templates in resources/ for that program's name.
function(kov_release_resources target description)
    set(KOV_PROGRAM_NAME ${target})
    set(KOV_PROGRAM_DESCRIPTION ${description})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(KOV_PROGRAM_ARCHITECTURE x86)
    else()
        set(KOV_PROGRAM_ARCHITECTURE amd64)
    endif()
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${target}-release)
    configure_file(${PROJECT_SOURCE_DIR}/resources/program.manifest.in
                   ${folder}/program.manifest @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/release.rc.in ${folder}/release.rc @ONLY)
    target_sources(${target} PRIVATE ${folder}/release.rc)
    # The resource compiler reads the manifest, which its dependency scan does not see.
    set_source_files_properties(${folder}/release.rc PROPERTIES OBJECT_DEPENDS
                                                                ${folder}/program.manifest)
endfunction()
