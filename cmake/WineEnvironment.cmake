# QUILLON_WINE_ENVIRONMENT: the NAME=VALUE list of cmake/wine-env.sh, which the scripts source,
# for the tests and programs that CMake starts under Wine.

include_guard(GLOBAL)

set(quillon_wine_env_file ${CMAKE_CURRENT_LIST_DIR}/wine-env.sh)
file(STRINGS ${quillon_wine_env_file} quillon_wine_env_lines REGEX "^export [A-Z_]+=")
set(QUILLON_WINE_ENVIRONMENT)
foreach(line IN LISTS quillon_wine_env_lines)
    string(REGEX REPLACE "^export " "" entry "${line}")
    list(APPEND QUILLON_WINE_ENVIRONMENT "${entry}")
endforeach()
# An edited file configures the build again.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${quillon_wine_env_file})
