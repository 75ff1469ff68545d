# The libraries the tools and their tests use beyond the library's own (which uses none of them), found in
# one place: nlohmann-json (Debian nlohmann-json3-dev) for plans, results and reports, and EDFlib (Debian
# libedf-dev) for reading recordings and as the EDF tests' peer. scripts/install-deps.sh installs both.
include(${CMAKE_CURRENT_LIST_DIR}/EDFlibPeer.cmake)

function(qolt_link_json target)
    if(NOT TARGET ${target})
        return()
    endif()
    if(NOT TARGET nlohmann_json::nlohmann_json)
        find_package(nlohmann_json 3.2 CONFIG QUIET)
    endif()
    if(NOT TARGET nlohmann_json::nlohmann_json)
        message(FATAL_ERROR "${target} needs nlohmann-json 3.2 or later: install nlohmann-json3-dev "
                            "(scripts/install-deps.sh does)")
    endif()
    target_link_libraries(${target} PRIVATE nlohmann_json::nlohmann_json)
endfunction()
