# The Python package's tests (pytest, Debian's python3-pytest), one CTest test per file, against the
# package staged in the build folder with this build's library beside it. A sanitized library cannot be
# loaded into an interpreter that is not, so those builds leave them out.
if(QOLT_SANITIZE)
    message(STATUS "Sanitized build: the Python tests are skipped")
    return()
endif()
# The host's interpreter cannot load a library built for another machine.
if(CMAKE_CROSSCOMPILING)
    message(STATUS "Cross build: the Python tests are skipped")
    return()
endif()
if(NOT TARGET qolt_python OR NOT TARGET qolt_sim_tool)
    return()
endif()

# The first interpreter that has pytest: the one CMake finds, then the system's.
find_package(Python3 COMPONENTS Interpreter QUIET)
set(QOLT_PYTEST_PYTHON "")
foreach(candidate IN ITEMS "${Python3_EXECUTABLE}" /usr/bin/python3)
    if(candidate AND EXISTS "${candidate}")
        execute_process(COMMAND "${candidate}" -c "import pytest" RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
        if(_rc EQUAL 0)
            set(QOLT_PYTEST_PYTHON "${candidate}")
            break()
        endif()
    endif()
endforeach()
if(NOT QOLT_PYTEST_PYTHON)
    message(STATUS "Python 3 with pytest not found (python3-pytest): the Python tests are skipped")
    return()
endif()

file(GLOB QOLT_PYTHON_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/tests/test_*.py)
foreach(test IN LISTS QOLT_PYTHON_TESTS)
    get_filename_component(name ${test} NAME_WE)
    add_test(NAME python.${name}
        COMMAND ${QOLT_PYTEST_PYTHON} -m pytest -q -p no:cacheprovider ${test}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/python/tests)
    set_tests_properties(python.${name} PROPERTIES
        ENVIRONMENT "PYTHONPATH=${QOLT_PYTHON_STAGE_DIR};PYTHONDONTWRITEBYTECODE=1"
        LABELS python
        TIMEOUT 300)
endforeach()
