# Cross-building for 64-bit ARM Linux with Debian's cross compiler and the
# arm64 libraries of Debian multiarch (scripts/cross-build arm64). Programs
# built here run on this machine under qemu-user, which is how CTest and
# GoogleTest's test discovery run them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The programs run with the multiarch C library (libc6:arm64), the one the
# arm64 libraries were built with, and not the cross compiler's copy under
# /usr/aarch64-linux-gnu: that dynamic loader and C library come from
# another build of glibc than /lib/aarch64-linux-gnu's, and a process that
# mixes the two deadlocks in its first lock.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64;-L;/)
# The arm64 packages' headers, libraries, CMake and pkg-config files.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
