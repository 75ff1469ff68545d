# The Python package, staged in the build folder as it is installed and as the wheel carries it: the
# modules, their version, and beside them the library (and qolt-sim, for qolt.VirtualInstrument), so that
# PYTHONPATH=build/python finds this build's library first.
set(QOLT_PYTHON_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QOLT_PYTHON_STAGE_DIR ${CMAKE_BINARY_DIR}/python)

file(GLOB QOLT_PYTHON_MODULES CONFIGURE_DEPENDS ${QOLT_PYTHON_SOURCE_DIR}/qolt/*.py)
configure_file(${QOLT_PYTHON_SOURCE_DIR}/qolt/_version.py.in ${QOLT_PYTHON_STAGE_DIR}/qolt/_version.py @ONLY)
configure_file(${QOLT_PYTHON_SOURCE_DIR}/setup.py ${QOLT_PYTHON_STAGE_DIR}/setup.py COPYONLY)
configure_file(${QOLT_PYTHON_SOURCE_DIR}/pyproject.toml ${QOLT_PYTHON_STAGE_DIR}/pyproject.toml @ONLY)

set(_stage_commands)
foreach(module IN LISTS QOLT_PYTHON_MODULES)
    get_filename_component(name ${module} NAME)
    list(APPEND _stage_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${module} ${QOLT_PYTHON_STAGE_DIR}/qolt/${name})
endforeach()
# Under the name the loader looks for: the SONAME (libqolt.so.1, libqolt.1.dylib), the DLL's own name.
if(WIN32)
    set(_library_name $<TARGET_FILE_NAME:qolt>)
else()
    set(_library_name $<TARGET_SONAME_FILE_NAME:qolt>)
endif()
list(APPEND _stage_commands
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QOLT_PYTHON_SOURCE_DIR}/qolt/py.typed ${QOLT_PYTHON_STAGE_DIR}/qolt/py.typed
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:qolt> ${QOLT_PYTHON_STAGE_DIR}/qolt/${_library_name})
if(TARGET qolt_sim_tool)
    list(APPEND _stage_commands
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:qolt_sim_tool> ${QOLT_PYTHON_STAGE_DIR}/qolt/bin/qolt-sim)
endif()
add_custom_target(qolt_python ALL ${_stage_commands}
    DEPENDS ${QOLT_PYTHON_MODULES}
    COMMENT "Staging the Python package in ${QOLT_PYTHON_STAGE_DIR}"
    VERBATIM)
add_dependencies(qolt_python qolt)
if(TARGET qolt_sim_tool)
    add_dependencies(qolt_python qolt_sim_tool)
endif()
