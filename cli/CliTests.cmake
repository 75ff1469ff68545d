# The tools' tests (tests/cli): they run the built programs, so they get their paths and depend on them;
# the capture tests read EDF files back with EDFlib (libedf-dev), a peer implementation, without which
# tests/CMakeLists.txt leaves them out.
# In a cross build the tests run under the emulator, and a program they start is the target's too: the
# host cannot run it by itself (no binfmt_misc here), so they start it through a small script that runs it
# under the same emulator.
set(_qolt_cli_bin $<TARGET_FILE:qolt_cli>)
set(_qolt_sim_bin $<TARGET_FILE:qolt_sim_tool>)
set(_qolt_example_bin $<TARGET_FILE:qolt_example_play_sine>)
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " _emulator)
    foreach(tool IN ITEMS cli sim example)
        set(_wrapper ${CMAKE_BINARY_DIR}/emulated/${tool})
        file(GENERATE OUTPUT ${_wrapper}
            CONTENT "#!/bin/sh\nexec ${_emulator} \"${_qolt_${tool}_bin}\" \"$@\"\n"
            FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        set(_qolt_${tool}_bin ${_wrapper})
    endforeach()
endif()

file(GLOB QOLT_CLI_TESTS CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/cli/*_test.cpp")
foreach(src IN LISTS QOLT_CLI_TESTS)
    get_filename_component(name "${src}" NAME_WE)
    if(NOT TARGET ${name})
        continue()
    endif()
    target_compile_definitions(${name} PRIVATE
        QOLT_CLI_BIN="${_qolt_cli_bin}"
        QOLT_SIM_BIN="${_qolt_sim_bin}"
        QOLT_EXAMPLE_BIN="${_qolt_example_bin}"
        QOLT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        QOLT_PROJECT_VERSION="${PROJECT_VERSION}")
    add_dependencies(${name} qolt_cli qolt_sim_tool qolt_example_play_sine)
    qolt_link_edflib(${name})
endforeach()
# The plan tests read the tool's JSON documents with nlohmann-json.
qolt_link_json(qolt_plan_test)
