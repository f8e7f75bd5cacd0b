# Cross-builds Meridan for 32-bit ARM (armhf: 32-bit Raspberry Pi OS, ARMv7 boards) with Debian's
# multiarch: the arm-linux-gnueabihf compilers of crossbuild-essential-armhf and the :armhf
# development packages, no sysroot. Programs the build runs (moc, uic) are the host's; every
# program built here runs through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# GCC notes that argument passing changed in GCC 7 for some structures; nothing here is compiled
# with an older one.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

# Libraries, headers and CMake packages from the armhf multiarch paths under /; programs from
# the host.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt_misc may not be there (containers): tests run the emulator explicitly.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-arm)
