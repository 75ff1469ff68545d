# qolt.exe: the command-line tool for a real instrument on Windows, from the shared sources of the tool
# with cli/windows/ in place of the POSIX parts (the instrument by COM port, console control events). The
# virtual instrument (a pseudo-terminal) is not offered: --virtual says so. The tool links the library
# statically, as its extended calls stay inside the DLL. Included by cli/Cli.cmake on Windows.
set(QOLT_CLI_DIR ${PROJECT_SOURCE_DIR}/cli)
set(QOLT_SIM_DIR ${PROJECT_SOURCE_DIR}/sim)

# The virtual instrument's capture files and records (what the tool's output command refers to); its
# serving half needs a pseudo-terminal.
file(GLOB _sim CONFIGURE_DEPENDS "${QOLT_SIM_DIR}/*.cpp")
list(FILTER _sim EXCLUDE REGEX "/(VirtualInstrument|PseudoTerminal|TempDir)\\.cpp$")
add_library(qolt_sim_files STATIC ${_sim} ${QOLT_SIM_DIR}/windows/TempDir.cpp)
target_include_directories(qolt_sim_files PUBLIC ${PROJECT_SOURCE_DIR} ${QOLT_SIM_DIR})
target_compile_options(qolt_sim_files PRIVATE -include ${QOLT_CLI_DIR}/windows/PosixCompat.h)

add_executable(qolt_cli
    ${QOLT_CLI_DIR}/QoltMain.cpp
    ${QOLT_CLI_DIR}/Options.cpp
    ${QOLT_CLI_DIR}/Functions.cpp
    ${QOLT_CLI_DIR}/Help.cpp
    ${QOLT_CLI_DIR}/Refusal.cpp
    ${QOLT_CLI_DIR}/Json.cpp
    ${QOLT_CLI_DIR}/Report.cpp
    ${QOLT_CLI_DIR}/LibraryEvents.cpp
    ${QOLT_CLI_DIR}/ConnectionReportLines.cpp
    ${QOLT_CLI_DIR}/Settings.cpp
    ${QOLT_CLI_DIR}/Recording.cpp
    ${QOLT_CLI_DIR}/IdentityCommands.cpp
    ${QOLT_CLI_DIR}/OutputCommand.cpp
    ${QOLT_CLI_DIR}/PlanCommandsMissing.cpp
    ${QOLT_CLI_DIR}/windows/StopSignal.cpp
    ${QOLT_CLI_DIR}/windows/Instrument.cpp)
target_include_directories(qolt_cli PRIVATE ${QOLT_CLI_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_options(qolt_cli PRIVATE -include ${QOLT_CLI_DIR}/windows/PosixCompat.h)
target_link_libraries(qolt_cli PRIVATE qolt_internal qolt_sim_files Threads::Threads)
set_target_properties(qolt_cli PROPERTIES OUTPUT_NAME qolt RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
qolt_strict_warnings(qolt_cli)
set(QOLT_HAVE_PLAN_TOOLS OFF)
