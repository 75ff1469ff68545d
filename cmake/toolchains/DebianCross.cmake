# Shared part of the Debian cross toolchains: the triplet's compilers from crossbuild-essential-*, the
# target's packages found where Debian's multiarch puts them (/usr/lib/<triplet>, headers in /usr/include),
# and qemu-user as the emulator CTest runs each test program under.
#
# The including file sets QOLT_CROSS_TRIPLET (the compilers' prefix and the multiarch folder) and
# QOLT_CROSS_QEMU (the qemu-user program for the target).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${QOLT_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QOLT_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QOLT_CROSS_MULTIARCH})

# Never the build host's libraries or programs by mistake: the target's come from its multiarch folder and
# the cross sysroot, programs (nm, python) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QOLT_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The synthesis must give the same doubles as the x86-64 build, where tests compare exact values: no fused
# multiply-add where the source has a multiply and an add.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off ${QOLT_CROSS_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off ${QOLT_CROSS_FLAGS}")

# The guest's loader would otherwise read the host's /etc/ld.so.cache and may pick the host's own libraries
# of the same word size (libc6-i386's /lib32: i386 programs then hang in pthread_create). The sysroot's
# lib folder first, then the target's multiarch folder (GoogleTest, EDFlib).
set(QOLT_CROSS_LIBRARY_PATH /usr/${QOLT_CROSS_TRIPLET}/lib:/usr/lib/${QOLT_CROSS_MULTIARCH})
find_program(QOLT_CROSS_QEMU_PROGRAM ${QOLT_CROSS_QEMU})
if(QOLT_CROSS_QEMU_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${QOLT_CROSS_QEMU_PROGRAM} -L /usr/${QOLT_CROSS_TRIPLET} -E LD_LIBRARY_PATH=${QOLT_CROSS_LIBRARY_PATH})
endif()
