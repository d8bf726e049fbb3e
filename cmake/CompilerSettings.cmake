# Warnings and sanitizer switches shared by every target of the project.

add_compile_options(-Wall -Wextra)

set(QUILLON_SANITIZE "" CACHE STRING
    "Sanitizer build: empty, 'address' (AddressSanitizer and UndefinedBehaviorSanitizer) or 'thread'")
set_property(CACHE QUILLON_SANITIZE PROPERTY STRINGS "" address thread)

if(QUILLON_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(QUILLON_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT QUILLON_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QUILLON_SANITIZE must be empty, 'address' or 'thread'")
endif()

# libFuzzer targets need clang; they are built only when asked for.
option(QUILLON_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(QUILLON_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUILLON_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
endif()

# Hardening of what is shipped, as Debian builds its packages (dpkg-buildflags with
# hardening=+all, and the newer stack-clash and control-flow protections): a tool that parses
# files from users and data from devices should have them. _FORTIFY_SOURCE needs optimisation,
# so only the optimised build types have it. On Windows the linker marks every program and DLL for
# address-space randomisation (64-bit, high entropy) and non-executable data.
# Sanitizer and fuzzing builds instrument memory themselves and stay without.
if(QUILLON_SANITIZE STREQUAL "" AND NOT QUILLON_FUZZ)
    set(quillon_harden_default ON)
else()
    set(quillon_harden_default OFF)
endif()
option(QUILLON_HARDEN "Build with the hardening flags of Debian's packages" ${quillon_harden_default})
if(QUILLON_HARDEN AND WIN32)
    add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
elseif(QUILLON_HARDEN)
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat
                        -Werror=format-security)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
        add_compile_options(-fcf-protection)
    endif()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
    include(CheckPIESupported)
    check_pie_supported()
endif()

# A libFuzzer target: the harness and the sources of the code it feeds, all compiled here so
# that the code under test carries the fuzzer's coverage instrumentation. Run one for a
# bounded time, e.g. build-fuzz/firmware/fuzz/hex_reader_fuzz -max_total_time=60, or all of
# them with scripts/fuzz.sh.
#   quillon_add_fuzzer(NAME name SOURCES harness.cpp code.cpp ...)
# The target quillon_fuzzers builds them all and nothing else.
if(QUILLON_FUZZ)
    add_custom_target(quillon_fuzzers)
endif()
function(quillon_add_fuzzer)
    cmake_parse_arguments(FUZZER "" "NAME" "SOURCES" ${ARGN})
    add_executable(${FUZZER_NAME} ${FUZZER_SOURCES})
    add_dependencies(quillon_fuzzers ${FUZZER_NAME})
    target_include_directories(${FUZZER_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${FUZZER_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${FUZZER_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

# A thread-sanitizer build covers the threaded, Qt-free HID layer only: Qt itself is not
# instrumented, so the windows would drown the report in false positives.
if(QUILLON_SANITIZE STREQUAL "thread")
    set(QUILLON_WITH_GUI OFF)
else()
    option(QUILLON_WITH_GUI "Build the windows and their tests" ON)
endif()

# GUI tests run on a platform without a screen: Qt's offscreen one, or on Windows, where the Qt
# build has none, the minimal one.
if(WIN32)
    set(QUILLON_GUI_TEST_PLATFORM minimal)
else()
    set(QUILLON_GUI_TEST_PLATFORM offscreen)
endif()

# The rooms of a subsystem folder, each where it applies: ui/ (its window code) in a build with
# the windows, tests/ always, fuzz/ in a fuzzing build.
macro(quillon_add_rooms)
    if(QUILLON_WITH_GUI AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/ui/CMakeLists.txt)
        add_subdirectory(ui)
    endif()
    add_subdirectory(tests)
    if(QUILLON_FUZZ AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/CMakeLists.txt)
        add_subdirectory(fuzz)
    endif()
endmacro()

# Adds a GoogleTest executable and registers its tests with CTest.
#   quillon_add_test(NAME name SOURCES ... LIBS ... [GUI])
# GUI tests run on QUILLON_GUI_TEST_PLATFORM.
include(GoogleTest)

function(quillon_add_test)
    cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS" ${ARGN})
    # One naming scheme for every test program: the folder it tests, then what, then "tests"
    # (device/records/tests: device_records_tests, device_records_store_tests, ...), so a
    # failing program's name says where to look.
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    string(REGEX REPLACE "(^|/)tests$" "" folder "${folder}")
    string(REPLACE "/" "_" prefix "${folder}")
    if(NOT T_NAME MATCHES "^${prefix}_([a-z0-9_]+_)?tests$")
        message(FATAL_ERROR "test program ${T_NAME} in ${folder}/: name it ${prefix}_[what_]tests")
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} quillon_test_support GTest::gtest GTest::gmock)
    if(T_GUI)
        target_link_libraries(${T_NAME} PRIVATE quillon_gui_test_main)
        set(env "QT_QPA_PLATFORM=${QUILLON_GUI_TEST_PLATFORM}")
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
        set(env "")
    endif()
    if(CMAKE_CROSSCOMPILING AND WIN32)
        # Under Wine every start costs seconds: one test per program, not one per test case.
        # (qemu-user starts in a blink: an arm64 build lists and runs each test case through
        # it, like a native one.)
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
        set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600
                             FIXTURES_REQUIRED emulator_session)
    else()
        gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${env}"
                             TIMEOUT 300)
    endif()
endfunction()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()
