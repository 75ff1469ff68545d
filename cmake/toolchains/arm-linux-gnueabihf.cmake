# 32-bit ARM, hard float (Debian armhf: ARMv7, VFPv3-D16) with gcc-arm-linux-gnueabihf, tests under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(QOLT_CROSS_TRIPLET arm-linux-gnueabihf)
set(QOLT_CROSS_MULTIARCH arm-linux-gnueabihf)
set(QOLT_CROSS_QEMU qemu-arm)
# GCC notes every std::vector iterator passed by value that GCC 7.1 passed differently; everything here is
# built by one compiler, so the note says nothing about this build.
set(QOLT_CROSS_FLAGS "-Wno-psabi")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
