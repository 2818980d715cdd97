# Helpers that give every program and test of the project the same shape.

# Writes QuoVersion.h for the version "A.B.C.D" into dir, for the version resources
# (common/VersionInfo.rc).
function(quo_version_header dir version)
    string(REPLACE "." ";" parts ${version})
    list(GET parts 0 QUO_VERSION_MAJOR)
    list(GET parts 1 QUO_VERSION_MINOR)
    list(GET parts 2 QUO_VERSION_PATCH)
    list(GET parts 3 QUO_VERSION_BUILD)
    set(QUO_VERSION ${version})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/QuoVersion.h.in ${dir}/QuoVersion.h @ONLY)
endfunction()

# A Unicode console or window program: wmain/wWinMain entry points.
function(quo_unicode_program target)
    target_link_options(${target} PRIVATE -municode)
endfunction()

# A program or DLL that ships: its debug information moves into <file>.debug beside it
# (named in the image by .gnu_debuglink, which gdb follows). Windows leaves an image's
# debug sections on disk, but Wine reads every section that is not page-aligned in the
# file into memory: 1.5 MB of the service's working set and 0.9 MB of the log library's.
function(quo_separate_debug_info target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()

# A test executable run under Wine through tools/wine-run.
#   quo_add_wine_test(NAME name TARGET target [FRESH] [WINVER ver] [MACHINE setup] [DPI n]
#                     [TIMEOUT s] [ARGS ...] [LABELS ...] [RESOURCE_LOCK ...])
# FRESH runs it in a private copy of the booted prefix (a clean machine); WINVER runs
# it in such a copy set to that Windows version (vista, win7, win10, winxp64); MACHINE
# runs it in such a copy with simulated hardware set up by tools/sim-hw ("desktop",
# "notebook,--batteries,2": the machine command and its options joined by commas); DPI
# runs it in such a copy whose display has n dots per inch.
function(quo_add_wine_test)
    cmake_parse_arguments(T "FRESH" "NAME;TARGET;WINVER;MACHINE;DPI;TIMEOUT" "ARGS;LABELS;RESOURCE_LOCK" ${ARGN})
    set(runner_args)
    if(T_FRESH)
        list(APPEND runner_args --fresh)
    endif()
    if(T_WINVER)
        list(APPEND runner_args --winver ${T_WINVER})
    endif()
    if(T_MACHINE)
        list(APPEND runner_args --machine ${T_MACHINE})
    endif()
    if(T_DPI)
        list(APPEND runner_args --dpi ${T_DPI})
    endif()
    add_test(NAME ${T_NAME}
             COMMAND ${QUO_WINE_RUN} ${runner_args} -- $<TARGET_FILE:${T_TARGET}> ${T_ARGS})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
    if(T_RESOURCE_LOCK)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
    endif()
endfunction()

# Gives the targets of the calling folder and below the Windows 7 headers instead of
# those of 64-bit XP: for tests and stand-ins, which are never shipped and run on
# Windows 7 only.
macro(quo_windows7_headers)
    get_directory_property(quo_definitions COMPILE_DEFINITIONS)
    list(TRANSFORM quo_definitions REPLACE "^(_WIN32_WINNT|WINVER)=0x0502$" "\\1=0x0601")
    set_directory_properties(PROPERTIES COMPILE_DEFINITIONS "${quo_definitions}")
endmacro()
