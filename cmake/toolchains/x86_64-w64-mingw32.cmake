# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix: the POSIX thread
# model, so std::thread and std::mutex exist). The runtime libraries are linked statically, so the DLL and
# the test programs need no MinGW DLL beside them, on Windows or under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QOLT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QOLT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOLT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QOLT_MINGW_PREFIX}-windres)
set(CMAKE_AR ${QOLT_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QOLT_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${QOLT_MINGW_PREFIX}-dlltool CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${QOLT_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QOLT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside every DLL and program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${CMAKE_SHARED_LINKER_FLAGS_INIT}")

