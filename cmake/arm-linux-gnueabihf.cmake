# Cross-builds Meridan for 32-bit ARM (armhf: 32-bit Raspberry Pi OS, ARMv7 boards) with the
# arm-linux-gnueabihf compilers of crossbuild-essential-armhf and the :armhf development packages.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(MERIDAN_TRIPLET arm-linux-gnueabihf)
set(MERIDAN_EMULATOR /usr/bin/qemu-arm)
# GCC notes that argument passing changed in GCC 7 for some structures; nothing here is compiled
# with an older one.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
