# The one date of a release, KOV_SOURCE_DATE_EPOCH (seconds since 1970, UTC): SOURCE_DATE_EPOCH
# where the environment sets it, else the date of the commit being built, else, in sources
# without their history, the date of the newest entry of packaging/changelog. Every time stamp
# that lands in a zip, a package or a manual page is this date, never the clock's, so two builds
# of one commit give the same bytes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(KOV_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    find_package(Git QUIET)
    set(commit_date "")
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE git_result ERROR_QUIET)
        if(NOT git_result EQUAL 0)
            set(commit_date "")
        endif()
    endif()
    if(commit_date STREQUAL "")
        execute_process(COMMAND dpkg-parsechangelog -l ${PROJECT_SOURCE_DIR}/packaging/changelog
                                -S Timestamp
                        OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(KOV_SOURCE_DATE_EPOCH ${commit_date})
endif()
if(NOT KOV_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${KOV_SOURCE_DATE_EPOCH}', not a number of seconds")
endif()
# A new commit is a new date: every move of HEAD is logged there, so configure again on one.
if(GIT_FOUND AND NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path logs/HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS "${head_log}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${head_log})
    endif()
endif()
