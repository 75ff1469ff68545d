# EDFlib (Debian package libedf-dev): the peer implementation the EDF tests, the tools' capture tests and the
# EDF benchmark compare our reader and writer with. Test and benchmark programs only; the library never
# links it. Without it those programs are left out (one status line says so).
find_path(QOLT_EDFLIB_INCLUDE_DIR edflib.h)
find_library(QOLT_EDFLIB_LIBRARY edf)
if(QOLT_EDFLIB_INCLUDE_DIR AND QOLT_EDFLIB_LIBRARY)
    set(QOLT_HAVE_EDFLIB ON)
else()
    set(QOLT_HAVE_EDFLIB OFF)
    get_property(_told GLOBAL PROPERTY QOLT_EDFLIB_MISSING_TOLD)
    if(NOT _told)
        set_property(GLOBAL PROPERTY QOLT_EDFLIB_MISSING_TOLD ON)
        message(STATUS "EDFlib not found (libedf-dev): the EDF peer tests, the tools' tests and the EDF benchmark are skipped")
    endif()
endif()

function(qolt_link_edflib target)
    if(TARGET ${target} AND QOLT_HAVE_EDFLIB)
        target_include_directories(${target} SYSTEM PRIVATE ${QOLT_EDFLIB_INCLUDE_DIR})
        target_link_libraries(${target} PRIVATE ${QOLT_EDFLIB_LIBRARY})
    endif()
endfunction()
