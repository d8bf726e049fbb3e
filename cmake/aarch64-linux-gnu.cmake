# Cross-building for 64-bit ARM Linux (arm64) with Debian's aarch64 cross compiler, against the
# arm64 development packages installed beside the build machine's own through multiarch
# (scripts/install-arm64-deps.sh): their libraries sit in /usr/lib/aarch64-linux-gnu, their
# CMake and pkg-config files there too. Qt's moc and the other host tools come from the build
# machine's Qt (QT_HOST_PATH). Tests run under qemu-user; QUILLON_ARM64_ROOT is the folder the
# emulator takes the arm64 loader and libraries from ("/" with multiarch, or a sysroot).

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(QUILLON_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${QUILLON_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QUILLON_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QUILLON_CROSS_TRIPLET})

# The library architecture makes CMake's searches look beneath lib/aarch64-linux-gnu, never
# beneath the build machine's lib/x86_64-linux-gnu; pkg-config gets the same from Debian's
# triplet-named wrapper. Programs (moc, the emulator) are the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE ${QUILLON_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "")

set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

set(QUILLON_ARM64_ROOT / CACHE PATH "The arm64 root the emulator loads libraries from")
find_program(QUILLON_QEMU_AARCH64 qemu-aarch64)
if(QUILLON_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLON_QEMU_AARCH64} -L ${QUILLON_ARM64_ROOT})
endif()

