cmake_minimum_required(VERSION 3.25)
# qolt.exe runs (under wine when cross-built): it helps, lists what it finds, and refuses --virtual with a
# message that says why and what to do instead.
set(exe "${QOLT_BINARY_DIR}/bin/qolt.exe")
if(NOT EXISTS "${exe}")
    message(FATAL_ERROR "no ${exe}")
endif()
set(run)
if(EXISTS "${QOLT_BINARY_DIR}/wine-run")
    set(run "${QOLT_BINARY_DIR}/wine-run")
endif()

function(qolt out_var rc_var)
    execute_process(COMMAND ${run} "${exe}" ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
        TIMEOUT 60)
    set(${out_var} "${out}${err}" PARENT_SCOPE)
    set(${rc_var} "${rc}" PARENT_SCOPE)
endfunction()

qolt(out rc --help)
if(NOT rc EQUAL 0 OR NOT out MATCHES "usage: qolt")
    message(FATAL_ERROR "qolt --help (${rc}):\n${out}")
endif()

foreach(command info list)
    qolt(out rc --virtual ${command})
    if(NOT rc EQUAL 7 OR NOT out MATCHES "--virtual: the virtual instrument serves a pseudo-terminal, which Windows")
        message(FATAL_ERROR "qolt --virtual ${command} must be refused with exit code 7 (${rc}):\n${out}")
    endif()
endforeach()

qolt(out rc --node-format "/dev/ttyACM%d" info)
if(NOT rc EQUAL 2 OR NOT out MATCHES "--node-format: Windows finds the instrument")
    message(FATAL_ERROR "qolt --node-format must be refused as a usage error (${rc}):\n${out}")
endif()

# Whatever is plugged in: found (0) or not (4), never a crash.
qolt(out rc --timeout 1 list)
if(NOT (rc EQUAL 0 OR rc EQUAL 4))
    message(FATAL_ERROR "qolt list (${rc}):\n${out}")
endif()
message(STATUS "qolt.exe runs and refuses --virtual")
