# The tools' tests (tests/cli): they run the built programs, so they get their paths and depend on them;
# the capture tests read EDF files back with EDFlib (libedf-dev), a peer implementation, without which
# tests/CMakeLists.txt leaves them out.
file(GLOB QOLT_CLI_TESTS CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/cli/*_test.cpp")
foreach(src IN LISTS QOLT_CLI_TESTS)
    get_filename_component(name "${src}" NAME_WE)
    if(NOT TARGET ${name})
        continue()
    endif()
    target_compile_definitions(${name} PRIVATE
        QOLT_CLI_BIN="$<TARGET_FILE:qolt_cli>"
        QOLT_SIM_BIN="$<TARGET_FILE:qolt_sim_tool>"
        QOLT_EXAMPLE_BIN="$<TARGET_FILE:qolt_example_play_sine>"
        QOLT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        QOLT_PROJECT_VERSION="${PROJECT_VERSION}")
    add_dependencies(${name} qolt_cli qolt_sim_tool qolt_example_play_sine)
    qolt_link_edflib(${name})
endforeach()
# The plan tests read the tool's JSON documents with nlohmann-json.
qolt_link_json(qolt_plan_test)
