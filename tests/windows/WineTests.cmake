# Which C++ suites the Windows build runs (under wine when cross-built), included by tests/CMakeLists.txt.
#
# Not built for Windows: the suites that drive the port through POSIX (device/*, the session, stream,
# pacing-stream and playback-stream suites, whose fixtures open pseudo-terminals and run the virtual
# instrument in the test process), the virtual instrument's own suites (it is a Linux program), the POSIX
# thread suite (signals, pthread_kill) and the loaders' and EDF reader's suites (POSIX file calls). Their
# Windows counterparts are in tests/windows/: the port, the session and the monitor against the Linux
# virtual instrument through a COM link in the wine prefix, wide paths and UTF-16LE text, threads.
set(QOLT_WINE_SUITES
    analysis_test derived_state_test edf_fields_test events_test frequency_scan_test log_queue_test
    main_function_test number_parse_test pacing_pulses_test reset_test settings_calls_test sine_test
    standard_tables_test stored_waveforms_test)
set(_kept)
foreach(src IN LISTS QOLT_TESTS)
    get_filename_component(_name "${src}" NAME_WE)
    if(src MATCHES "/tests/windows/" OR _name IN_LIST QOLT_WINE_SUITES)
        list(APPEND _kept "${src}")
    endif()
endforeach()
set(QOLT_TESTS ${_kept})

# Cases that test the host rather than the library:
# - the reference sine of mingw-w64's runtime is off by up to 4 units in the last place at large arguments
#   (glibc's agrees with the library's to the last place there);
# - where the tables live is read from /proc/self/maps, which a Windows process does not have;
# - the runtime's strtod and strtof give -0 for a lone sign ("--1", "- 1": no number, which is +0 in C);
#   the library's parser gives +0, as glibc's does.
set(QOLT_WINE_FILTER_sine_test
    "-Sine.MatchesTheLibrarySineOverLargeArguments:Sine.QuadrantBoundariesAndTheReductionLimit")
set(QOLT_WINE_FILTER_standard_tables_test "-StandardTablesLayout.TablesLiveInReadOnlyMemory")
set(QOLT_WINE_FILTER_number_parse_test "-ParseDoubleC.MatchesStrtodInTheCLocale:ParseFloatC.MatchesStrtofInTheCLocale")

# The suites that need the virtual instrument: run through wine-sim-run, one at a time.
set(QOLT_WINE_SIM_TESTS wine_port_test wine_session_test)
function(qolt_wine_sim_test name)
    if(NOT QOLT_WINE_SIM_RUNNER)
        message(STATUS "${name}: no virtual instrument for wine (set QOLT_LINUX_SIM to a Linux qolt-sim)")
        return()
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${QOLT_WINE_SIM_RUNNER}")
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 180 LABELS unit RUN_SERIAL TRUE)
endfunction()

function(qolt_wine_test_settings)
    if(TARGET dll_load_test)
        # The DLL as a Windows program names it (wine's Z: drive is the root of the host), in a header.
        set(_dll "Z:${CMAKE_BINARY_DIR}/${QOLT_DLL_NAME}")
        string(REPLACE "/" "\\\\" _dll "${_dll}")
        file(WRITE "${CMAKE_BINARY_DIR}/generated/qolt_test_dll.h.in" "#define QOLT_TEST_DLL_PATH L\"${_dll}\"\n")
        configure_file("${CMAKE_BINARY_DIR}/generated/qolt_test_dll.h.in" "${CMAKE_BINARY_DIR}/generated/qolt_test_dll.h"
            COPYONLY)
        add_dependencies(dll_load_test qolt)
    endif()
endfunction()
