# Cross-builds Meridan for 64-bit ARM (Raspberry Pi and its peers) with Debian's multiarch: the
# aarch64-linux-gnu compilers of crossbuild-essential-arm64 and the :arm64 development packages,
# no sysroot. Programs the build runs (moc, uic) are the host's; every program built here runs
# through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries, headers and CMake packages from the arm64 multiarch paths under /; programs from
# the host.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt_misc may not be there (containers): tests run the emulator explicitly.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
