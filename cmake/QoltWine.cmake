# Windows programs built on Linux run under wine: test discovery, CTest and the scripts call them through
# build-dir/wine-run, which keeps a wine prefix of this build's own (build-dir/wineprefix) and quiet logs.
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING))
    return()
endif()
find_program(QOLT_WINE_PROGRAM NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT QOLT_WINE_PROGRAM)
    message(STATUS "wine not found (wine64): the Windows programs are built but not run")
    return()
endif()
set(QOLT_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")

# The suites that need the virtual instrument run through wine-sim-run, which starts a Linux qolt-sim
# (QOLT_LINUX_SIM, built by a Linux build of these sources) and links its pseudo-terminal into the prefix
# as COM@QOLT_WINE_SIM_COM@ and as the instrument interface path the tests list.
set(QOLT_LINUX_SIM "" CACHE FILEPATH "A Linux qolt-sim for the Windows tests that need the virtual instrument")
set(QOLT_WINE_SIM_COM 7)
set(QOLT_WINE_SIM_INTERFACE "usb#vid_04d8&pid_000a#qolt-sim#{a5dcbf10-6530-11d2-901f-00c04fb951ed}")
set(QOLT_WINE_STUCK_INTERFACE "usb#vid_04d8&pid_000a#qolt-stuck#{a5dcbf10-6530-11d2-901f-00c04fb951ed}")
if(QOLT_LINUX_SIM AND EXISTS "${QOLT_LINUX_SIM}")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-sim-run.sh.in ${CMAKE_BINARY_DIR}/wine-sim-run @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(QOLT_WINE_SIM_RUNNER "${CMAKE_BINARY_DIR}/wine-sim-run")
endif()
