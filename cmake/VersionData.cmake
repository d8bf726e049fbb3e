# The program's version data: the strings and file flags that every executable of the program
# carries about itself, on Linux in an ELF note (read back by info/linux/ElfVersionResource.cpp),
# on Windows in the version resource (info/windows/WindowsVersionResource.cpp). The texts are
# kept here, in one place; the version numbers come from project().
#
#   quillon_add_version_data(<name> [COMPANY_NAME text] [FILE_VERSION text] ... )
# makes an OBJECT library <name> holding the note or the resource. Link it into an executable
# to give it the data; being an object library, the linker keeps it even though nothing refers
# to it. Each key may be overridden, which the tests use to build a program of another version.

include_guard(GLOBAL)

set(QUILLON_VERSION_DATA_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../info/VersionNote.cpp.in)
set(QUILLON_VERSION_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../info/VersionResource.rc.in)

# "1.0.1" as the four numbers of a version resource's fixed part: "1,0,1,0".
function(quillon_rc_version_numbers text outVar)
    string(REGEX MATCHALL "[0-9]+" numbers "${text}")
    list(APPEND numbers 0 0 0 0)
    list(SUBLIST numbers 0 4 numbers)
    list(JOIN numbers "," joined)
    set(${outVar} "${joined}" PARENT_SCOPE)
endfunction()

set(QUILLON_SPECIAL_BUILD "" CACHE STRING
    "Describes how this build differs from the standard one; sets the special-build flag")
set(QUILLON_PRIVATE_BUILD "" CACHE STRING
    "Names who built this private build; sets the private-build flag")
option(QUILLON_PRE_RELEASE "Mark the executables as a pre-release" OFF)

function(quillon_add_version_data NAME)
    # Argument name, key written into the note, default value: in the order they are written.
    set(keys
        COMPANY_NAME      CompanyName      "Morvane"
        FILE_DESCRIPTION  FileDescription  "Quillon-Utility"
        FILE_VERSION      FileVersion      "${PROJECT_VERSION}"
        INTERNAL_NAME     InternalName     "quillon-utility"
        LEGAL_COPYRIGHT   LegalCopyRight   "Copyright © 2026 Morvane"
        LEGAL_TRADEMARKS  LegalTradeMarks  "Quillon is a trademark of Morvane."
        ORIGINAL_FILENAME OriginalFileName "quillon-utility"
        PRODUCT_NAME      ProductName      "Quillon-Utility"
        PRODUCT_VERSION   ProductVersion   "${PROJECT_VERSION}"
        COMMENTS          Comments         "Configuration of the Quillon serial-to-keyboard adapter"
        SPECIAL_BUILD     SpecialBuild     "${QUILLON_SPECIAL_BUILD}"
        PRIVATE_BUILD     PrivateBuild     "${QUILLON_PRIVATE_BUILD}"
    )
    set(argNames PRE_RELEASE FILE_TYPE FILE_SUBTYPE)
    list(LENGTH keys count)
    foreach(i RANGE 0 ${count} 3)
        if(i LESS count)
            list(GET keys ${i} argName)
            list(APPEND argNames ${argName})
        endif()
    endforeach()
    cmake_parse_arguments(V "" "${argNames}" "" ${ARGN})

    # The string table as bytes: key, NUL, value, NUL, ..., padded with NULs to whole words;
    # and as a resource script's lines.
    set(hex "")
    set(QUILLON_RC_STRINGS "")
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 3)
        math(EXPR k "${i} + 1")
        math(EXPR d "${i} + 2")
        list(GET keys ${i} argName)
        list(GET keys ${k} key)
        list(GET keys ${d} value)
        if(DEFINED V_${argName})
            set(value "${V_${argName}}")
        endif()
        set(v_${argName} "${value}")
        # A resource script's string: backslashes and quotes escaped, the text itself UTF-8.
        string(REPLACE "\\" "\\\\" rcValue "${value}")
        string(REPLACE "\"" "\"\"" rcValue "${rcValue}")
        string(APPEND QUILLON_RC_STRINGS "            VALUE \"${key}\", \"${rcValue}\"\n")
        string(HEX "${key}" keyHex)
        string(HEX "${value}" valueHex)
        string(APPEND hex "${keyHex}00${valueHex}00")
    endforeach()
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    math(EXPR padding "(4 - ${size} % 4) % 4")
    string(REPEAT "00" ${padding} zeros)
    string(APPEND hex "${zeros}")
    math(EXPR QUILLON_NOTE_STRINGS_SIZE "${size} + ${padding}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," QUILLON_NOTE_STRINGS "${hex}")

    # File flags: debug follows the build itself (see the template); the others follow the
    # options above.
    set(flags 0)
    if(V_PRE_RELEASE OR (NOT DEFINED V_PRE_RELEASE AND QUILLON_PRE_RELEASE))
        math(EXPR flags "${flags} | 0x02")
    endif()
    if(NOT v_PRIVATE_BUILD STREQUAL "")
        math(EXPR flags "${flags} | 0x08")
    endif()
    if(NOT v_SPECIAL_BUILD STREQUAL "")
        math(EXPR flags "${flags} | 0x20")
    endif()
    set(QUILLON_NOTE_FILE_FLAGS ${flags})
    set(QUILLON_NOTE_FILE_TYPE 1)
    if(DEFINED V_FILE_TYPE)
        set(QUILLON_NOTE_FILE_TYPE ${V_FILE_TYPE})
    endif()
    set(QUILLON_NOTE_FILE_SUBTYPE 0)
    if(DEFINED V_FILE_SUBTYPE)
        set(QUILLON_NOTE_FILE_SUBTYPE ${V_FILE_SUBTYPE})
    endif()

    if(WIN32)
        quillon_rc_version_numbers("${v_FILE_VERSION}" QUILLON_RC_FILE_VERSION)
        quillon_rc_version_numbers("${v_PRODUCT_VERSION}" QUILLON_RC_PRODUCT_VERSION)
        set(source ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.rc)
        configure_file(${QUILLON_VERSION_RESOURCE_TEMPLATE} ${source} @ONLY)
        add_library(${NAME} OBJECT ${source})
        # The debug flag follows the build as NDEBUG does for the note.
        target_compile_definitions(${NAME} PRIVATE
            $<$<NOT:$<CONFIG:Release,RelWithDebInfo,MinSizeRel>>:QUILLON_VERSION_DEBUG>)
    else()
        set(source ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.cpp)
        configure_file(${QUILLON_VERSION_DATA_TEMPLATE} ${source} @ONLY)
        add_library(${NAME} OBJECT ${source})
        target_include_directories(${NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    endif()
    set_target_properties(${NAME} PROPERTIES AUTOMOC OFF)
endfunction()
