# Cross-builds Meridan for 64-bit ARM (Raspberry Pi and its peers) with the aarch64-linux-gnu
# compilers of crossbuild-essential-arm64 and the :arm64 development packages.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(MERIDAN_TRIPLET aarch64-linux-gnu)
set(MERIDAN_EMULATOR /usr/bin/qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
