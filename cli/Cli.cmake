# The command-line tools: `qolt` (links the shared library like any application, and the virtual instrument
# for --virtual) and `qolt-sim` (the virtual instrument alone, serving a pseudo-terminal to other
# processes). Included by the top CMakeLists after the library and qolt_sim exist.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows/CliWindows.cmake)
    return()
endif()
if(NOT TARGET qolt_sim)
    return()
endif()

set(QOLT_CLI_DIR ${CMAKE_CURRENT_LIST_DIR})

add_executable(qolt_cli
    ${QOLT_CLI_DIR}/QoltMain.cpp
    ${QOLT_CLI_DIR}/Options.cpp
    ${QOLT_CLI_DIR}/Functions.cpp
    ${QOLT_CLI_DIR}/Help.cpp
    ${QOLT_CLI_DIR}/Refusal.cpp
    ${QOLT_CLI_DIR}/Json.cpp
    ${QOLT_CLI_DIR}/Report.cpp
    ${QOLT_CLI_DIR}/StopSignal.cpp
    ${QOLT_CLI_DIR}/LibraryEvents.cpp
    ${QOLT_CLI_DIR}/Instrument.cpp
    ${QOLT_CLI_DIR}/ConnectionReportLines.cpp
    ${QOLT_CLI_DIR}/PlugPlan.cpp
    ${QOLT_CLI_DIR}/Settings.cpp
    ${QOLT_CLI_DIR}/Recording.cpp
    ${QOLT_CLI_DIR}/IdentityCommands.cpp
    ${QOLT_CLI_DIR}/OutputCommand.cpp)
target_include_directories(qolt_cli PRIVATE ${QOLT_CLI_DIR} ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(qolt_cli PRIVATE qolt qolt_sim Threads::Threads)
# Plans and results are JSON (nlohmann-json); recordings are read with EDFlib. Without either the plan
# commands say what is missing and the rest of the tool is built as usual.
include(${PROJECT_SOURCE_DIR}/cmake/ToolDependencies.cmake)
if(NOT TARGET nlohmann_json::nlohmann_json)
    find_package(nlohmann_json 3.2 CONFIG QUIET)
endif()
if(TARGET nlohmann_json::nlohmann_json AND QOLT_HAVE_EDFLIB)
    set(QOLT_HAVE_PLAN_TOOLS ON)
    target_sources(qolt_cli PRIVATE
        ${QOLT_CLI_DIR}/Plan.cpp
        ${QOLT_CLI_DIR}/LibrarySettings.cpp
        ${QOLT_CLI_DIR}/RunCommand.cpp
        ${QOLT_CLI_DIR}/PlanCommand.cpp
        ${QOLT_CLI_DIR}/RecordingReader.cpp
        ${QOLT_CLI_DIR}/AnalyzeCommand.cpp)
    target_link_libraries(qolt_cli PRIVATE qolt_analysis)
    qolt_link_json(qolt_cli)
    qolt_link_edflib(qolt_cli)
else()
    set(QOLT_HAVE_PLAN_TOOLS OFF)
    target_sources(qolt_cli PRIVATE ${QOLT_CLI_DIR}/PlanCommandsMissing.cpp)
    message(STATUS "nlohmann-json or EDFlib not found (nlohmann-json3-dev, libedf-dev): qolt's run, plan and "
                   "analyze are skipped")
endif()
set_target_properties(qolt_cli PROPERTIES
    OUTPUT_NAME qolt
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
qolt_strict_warnings(qolt_cli)

add_executable(qolt_sim_tool
    ${QOLT_CLI_DIR}/SimMain.cpp
    ${QOLT_CLI_DIR}/SimOptions.cpp
    ${QOLT_CLI_DIR}/PlugPlan.cpp
    ${QOLT_CLI_DIR}/Json.cpp
    ${QOLT_CLI_DIR}/StopSignal.cpp)
target_include_directories(qolt_sim_tool PRIVATE ${QOLT_CLI_DIR} ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(qolt_sim_tool PRIVATE qolt_sim Threads::Threads)
set_target_properties(qolt_sim_tool PROPERTIES
    OUTPUT_NAME qolt-sim
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
qolt_strict_warnings(qolt_sim_tool)

install(TARGETS qolt_cli qolt_sim_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

# The C example of the README: built as C against the public header and the shared library only.
add_executable(qolt_example_play_sine ${PROJECT_SOURCE_DIR}/examples/play_sine.c)
target_link_libraries(qolt_example_play_sine PRIVATE qolt)
set_target_properties(qolt_example_play_sine PROPERTIES
    OUTPUT_NAME play_sine
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
if(NOT MSVC)
    target_compile_options(qolt_example_play_sine PRIVATE -Wall -Wextra -Wconversion -pedantic
        $<$<BOOL:${QOLT_WERROR}>:-Werror>)
endif()
# clang's C driver leaves out the C++ part of the UBSan runtime that the sanitized library needs: link
# the (still C) program with the C++ driver there.
if(QOLT_SANITIZE AND CMAKE_C_COMPILER_ID MATCHES "Clang")
    set_target_properties(qolt_example_play_sine PROPERTIES LINKER_LANGUAGE CXX)
endif()
