# EDFlib (Debian package libedf-dev): the peer implementation the EDF tests and the EDF benchmark compare our
# reader with. Test and benchmark programs only; the library never links it.
find_path(QOLT_EDFLIB_INCLUDE_DIR edflib.h)
find_library(QOLT_EDFLIB_LIBRARY edf)

function(qolt_link_edflib target)
    if(NOT TARGET ${target})
        return()
    endif()
    if(NOT QOLT_EDFLIB_INCLUDE_DIR OR NOT QOLT_EDFLIB_LIBRARY)
        message(FATAL_ERROR "${target} needs EDFlib: install libedf-dev (scripts/install-deps.sh does)")
    endif()
    target_include_directories(${target} SYSTEM PRIVATE ${QOLT_EDFLIB_INCLUDE_DIR})
    target_link_libraries(${target} PRIVATE ${QOLT_EDFLIB_LIBRARY})
endfunction()
