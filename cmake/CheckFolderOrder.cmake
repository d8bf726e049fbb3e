# Checks that no folder includes a header of a folder above it, and that Qt stays where the
# windows are. Run as a test:
#   cmake -DSOURCE_DIR=<project root> -P cmake/CheckFolderOrder.cmake
# Top to bottom: the front ends app | cli | station side by side (none uses another), over
# device, over config, firmware, info, over hid and ui (the Qt bridge and shared widgets), over
# base. Each folder lists the folders it may include besides itself. Tests, fuzzers, benchmarks
# and build tools are not library code and may reach any folder they test through.
set(allowed_app device config firmware info hid ui base)
set(allowed_cli device config firmware info hid ui base)
set(allowed_station device config firmware info hid ui base)
set(allowed_device config firmware info hid ui base)
set(allowed_config ui base)
set(allowed_firmware hid ui base)
set(allowed_info hid ui base)
set(allowed_hid base)
set(allowed_ui base)
set(allowed_base "")
set(folders app cli station device config firmware info hid ui base)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR not given")
endif()

# Qt may be used by the front ends, by ui/ (the bridge and the shared widgets) and by the
# ui/ room of a subsystem folder; the rest of a folder is Qt-free and must not reach into a
# room, not even through a header.
set(qt_folders app cli station ui)

set(violations "")
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
         ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.in)
    list(FIND qt_folders ${folder} front)
    foreach(source IN LISTS sources)
        if(source MATCHES "/(tests|fuzz)/")
            continue()
        endif()
        set(in_room FALSE)
        if(front GREATER_EQUAL 0 OR source MATCHES "^[^/]+/ui/")
            set(in_room TRUE)
        endif()
        file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        foreach(line IN LISTS includes)
            string(STRIP "${line}" line)
            if(NOT in_room AND line MATCHES "<Q[A-Za-z]*>|<Qt[A-Za-z]*/")
                list(APPEND violations "${source}: ${line} (Qt belongs in ui/ rooms)")
                continue()
            endif()
            if(NOT in_room AND line MATCHES "\"[^\"/]+/ui/")
                list(APPEND violations "${source}: ${line} (Qt-free code may not use a ui/ room)")
                continue()
            endif()
            string(REGEX MATCH "\"([^\"/]+)/" _ "${line}")
            set(target "${CMAKE_MATCH_1}")
            if(target STREQUAL "" OR target STREQUAL folder)
                continue()
            endif()
            list(FIND folders ${target} known)
            list(FIND allowed_${folder} ${target} permitted)
            if(known GREATER_EQUAL 0 AND permitted LESS 0)
                list(APPEND violations "${source}: ${line} (${folder}/ may not use ${target}/)")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes against the folder order:\n  ${text}")
endif()
message(STATUS "Folder order kept")
