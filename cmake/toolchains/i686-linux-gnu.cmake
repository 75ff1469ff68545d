# 32-bit x86 (Debian i386) with gcc-i686-linux-gnu, tests under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QOLT_CROSS_TRIPLET i686-linux-gnu)
set(QOLT_CROSS_MULTIARCH i386-linux-gnu)
set(QOLT_CROSS_QEMU qemu-i386)
# Doubles in SSE registers, not in the x87's 80-bit ones, so every result is rounded as on x86-64.
set(QOLT_CROSS_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
