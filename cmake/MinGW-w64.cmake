# Cross-building for 64-bit Windows with Debian's MinGW-w64 compiler (posix threads, which
# std::thread needs). Qt for MinGW is not a Debian package: pass its prefix as
# -DCMAKE_PREFIX_PATH=<prefix> (and QT_HOST_PATH=/usr for moc and the other host tools).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLON_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLON_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW_TRIPLET}-windres)

# Libraries and headers come only from the MinGW tree and the given prefixes; programs (moc,
# wine) only from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
