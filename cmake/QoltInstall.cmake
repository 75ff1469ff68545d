# What `cmake --install` puts in place, by component, and the Debian packages CPack makes of them:
#   runtime  libqolt.so.1 and its versioned file                       -> libqolt1
#   dev      qolt_api.h, the libqolt.so link, qolt.pc, the CMake package -> libqolt-dev
#   tools    qolt, qolt-sim, the udev rules                              -> qolt-tools
#   python   the Python package qolt                                     -> python3-qolt
include(CMakePackageConfigHelpers)

set(QOLT_CMAKE_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/qolt")
# The Debian layout; other systems name their own (e.g. lib/python3.11/site-packages).
set(QOLT_PYTHON_INSTALL_DIR "lib/python3/dist-packages" CACHE STRING "Where the Python package goes, below the prefix")
set(QOLT_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rules go, below the prefix")

install(TARGETS qolt EXPORT qoltTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES api/qolt_api.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# pkg-config: paths relative to the .pc file, so the tree may be installed or unpacked anywhere.
file(RELATIVE_PATH QOLT_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/qolt.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qolt.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qolt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# CMake: find_package(qolt) gives qolt::qolt; any 1.x release satisfies a request for 1.y (y <= x).
install(EXPORT qoltTargets NAMESPACE qolt:: DESTINATION ${QOLT_CMAKE_INSTALL_DIR} COMPONENT dev)
configure_package_config_file(cmake/qoltConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/qoltConfig.cmake
    INSTALL_DESTINATION ${QOLT_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qoltConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qoltConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/qoltConfigVersion.cmake
    DESTINATION ${QOLT_CMAKE_INSTALL_DIR} COMPONENT dev)

if(NOT WIN32)
    install(FILES packaging/udev/60-qolt-instrument.rules packaging/udev/70-qolt-uaccess.rules
        DESTINATION ${QOLT_UDEV_RULES_DIR} COMPONENT tools)
endif()

if(TARGET qolt_python)
    install(DIRECTORY ${QOLT_PYTHON_STAGE_DIR}/qolt DESTINATION ${QOLT_PYTHON_INSTALL_DIR} COMPONENT python
        FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE PATTERN "bin" EXCLUDE)
endif()

# --- Debian packages (cpack -G DEB in the build folder) ------------------------------------------------------
set(CPACK_PACKAGE_NAME libqolt)
set(CPACK_PACKAGE_VENDOR "libqolt")
set(CPACK_PACKAGE_CONTACT "libqolt maintainers <libqolt@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# No package-wide summary: each description below begins with its package's own.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev tools python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools link the library of the same build: dpkg-shlibdeps finds it there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_CURRENT_BINARY_DIR})
set(QOLT_DEB_SAME_RUNTIME "libqolt1 (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqolt1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The udev rules that give access to the instrument's port come with the tools.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS qolt-tools)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "host library of a USB physiological signal simulator
 libqolt drives a USB-attached EEG/ECG signal simulator over its CDC-ACM serial port: it computes
 every sample and streams it to the instrument. This package holds the shared library.")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqolt-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QOLT_DEB_SAME_RUNTIME}")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_DESCRIPTION "host library of a USB physiological signal simulator (development files)
 The C header, the libqolt.so link, the pkg-config file qolt.pc and the CMake package
 (find_package(qolt) gives qolt::qolt).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qolt-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QOLT_DEB_SAME_RUNTIME}")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool and virtual instrument for libqolt
 qolt finds the signal simulator, says who it is and plays waveforms, scans and recordings on it;
 qolt-sim plays the instrument on a pseudo-terminal. With the udev rules for the instrument's port.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-qolt)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= 3.8), libqolt1 (>= ${PROJECT_VERSION})")
# qolt.VirtualInstrument runs qolt-sim.
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS qolt-tools)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python interface to libqolt
 The qolt module drives the signal simulator from Python through the library's C interface (ctypes).")

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Shared library")
cpack_add_component(dev DISPLAY_NAME "Development files" DEPENDS runtime)
cpack_add_component(tools DISPLAY_NAME "Tools and udev rules" DEPENDS runtime)
cpack_add_component(python DISPLAY_NAME "Python package" DEPENDS runtime)
