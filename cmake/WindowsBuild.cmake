# What a Windows build needs beyond the common settings: GoogleTest built from sources, and
# every program in one folder beside the DLLs it loads.

include_guard(GLOBAL)

# Debian ships GoogleTest for MinGW only as sources (package googletest).
set(QUILLON_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build with")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${QUILLON_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own warnings are not ours to mend.
foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE -w)
endforeach()

# Windows finds a program's DLLs in the program's own folder: the tests, run under Wine, and
# quillon-cli.exe all live in bin/ with the MinGW runtime and (copied when Qt is found) Qt's.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
# An installation on Windows keeps the programs, their DLLs and the release notes in one
# folder, where the programs look for them.
set(CMAKE_INSTALL_BINDIR .)
# The same DLLs go into the setup program (packaging/windows/).
set(QUILLON_MINGW_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The MinGW runtime ${dll} was not found")
    endif()
    file(COPY ${path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    list(APPEND QUILLON_MINGW_RUNTIME_DLLS ${path})
endforeach()

# Copies a Qt module's DLL beside the programs once Qt has been found.
function(quillon_deploy_qt_dll target)
    get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
    if(location)
        file(COPY ${location} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    endif()
endfunction()


# Test programs run under Wine when cross-building (ctest and gtest_discover_tests both go
# through the emulator), in a Wine prefix of the build's own, in the environment every Wine
# program of the project has (cmake/wine-env.sh).
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(QUILLON_WINE wine)
    if(QUILLON_WINE)
        include(${CMAKE_CURRENT_LIST_DIR}/WineEnvironment.cmake)
        set(QUILLON_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix CACHE PATH
            "The Wine prefix the tests run in")
        set(CMAKE_CROSSCOMPILING_EMULATOR
            ${CMAKE_COMMAND} -E env ${QUILLON_WINE_ENVIRONMENT} WINEPREFIX=${QUILLON_WINE_PREFIX}
            ${QUILLON_WINE})

        # The first Wine program of a session starts Wine's own services, which keep its output
        # open long after it has ended, and ctest would wait for them: start them first, output
        # elsewhere.
        add_test(NAME emulator_session
                 COMMAND sh -c "exec \"$@\" >/dev/null 2>&1 </dev/null" sh
                         ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c exit)
        set_tests_properties(emulator_session PROPERTIES FIXTURES_SETUP emulator_session TIMEOUT 120)
    endif()
endif()

# Copies a Qt plugin into the folder below the programs where Qt looks for its kind
# (platforms/, styles/) once Qt has been found.
function(quillon_deploy_qt_plugin target kind)
    get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
    if(location)
        file(COPY ${location} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${kind})
    endif()
endfunction()

# A test that the Linux build's quillon_wine_e2e_test (QUILLON_WINE_E2E_DRIVER) runs against this
# build's programs under Wine, through Wine's own HID stack; its tests share one Wine prefix.
#   quillon_add_wine_e2e_test(NAME name FILTER gtest-filter [WINDOW_PROGRAM exe] [LAUNCHER cmd...])
# Without the driver the test is skipped, except in CI, where it must run.
function(quillon_add_wine_e2e_test)
    cmake_parse_arguments(ARG "" "NAME;FILTER;WINDOW_PROGRAM" "LAUNCHER" ${ARGN})
    if(QUILLON_WINE_E2E_DRIVER)
        add_test(NAME ${ARG_NAME}
                 COMMAND ${ARG_LAUNCHER} ${QUILLON_WINE_E2E_DRIVER} $<TARGET_FILE:quillon-cli>
                         ${PROJECT_BINARY_DIR}/wine-prefix-e2e ${ARG_WINDOW_PROGRAM}
                         --gtest_filter=${ARG_FILTER})
    else()
        add_test(NAME ${ARG_NAME}
                 COMMAND sh -c "echo 'QUILLON_WINE_E2E_DRIVER is not set'; [ -z \"$CI\" ] && exit 77; exit 1")
    endif()
    set_tests_properties(${ARG_NAME} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
endfunction()
