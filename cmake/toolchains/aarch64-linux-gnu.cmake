# 64-bit ARM (Debian arm64) with gcc-aarch64-linux-gnu, tests under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QOLT_CROSS_TRIPLET aarch64-linux-gnu)
set(QOLT_CROSS_MULTIARCH aarch64-linux-gnu)
set(QOLT_CROSS_QEMU qemu-aarch64)
set(QOLT_CROSS_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
