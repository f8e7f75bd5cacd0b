# What the cross toolchains share: Debian's multiarch, no sysroot. The including toolchain sets
# CMAKE_SYSTEM_PROCESSOR, MERIDAN_TRIPLET (the compilers' prefix and the multiarch directory) and
# MERIDAN_EMULATOR (the qemu-user program that runs what the build makes). Programs the build runs
# (moc, uic) are the host's; every program built here runs through the emulator.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${MERIDAN_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MERIDAN_TRIPLET}-g++)

# Libraries, headers and CMake packages from the target's multiarch paths under /; programs from
# the host.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_LIBRARY_ARCHITECTURE ${MERIDAN_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt_misc may not be there (containers): tests run the emulator explicitly.
set(CMAKE_CROSSCOMPILING_EMULATOR ${MERIDAN_EMULATOR})
