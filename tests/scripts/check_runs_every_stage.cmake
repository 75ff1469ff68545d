# scripts/check.sh runs every stage it is given even after one fails, prints one summary line per stage
# with its time, and exits non-zero when any failed. The stages run against a stand-in cmake on the PATH
# that fails the asan workflow, so nothing is built.
find_program(BASH bash REQUIRED)
set(work "${QOLT_BINARY_DIR}/check_runs_every_stage")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/bin")
file(WRITE "${work}/bin/cmake" "#!/bin/sh\necho \"$*\" >> \"${work}/calls\"\ncase \"$*\" in *asan*) exit 3 ;; esac\nexit 0\n")
file(CHMOD "${work}/bin/cmake" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

function(run_check out_var rc_var)
    file(REMOVE "${work}/calls")
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env "PATH=${work}/bin:$ENV{PATH}"
            ${BASH} "${QOLT_SOURCE_DIR}/scripts/check.sh" ${ARGN}
        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    set(${out_var} "${out}${err}" PARENT_SCOPE)
    set(${rc_var} "${rc}" PARENT_SCOPE)
endfunction()

run_check(out rc default asan tsan)
if(rc EQUAL 0)
    message(FATAL_ERROR "check.sh passed although the asan stage failed:\n${out}")
endif()
file(STRINGS "${work}/calls" calls)
foreach(stage default asan tsan)
    if(NOT "${calls}" MATCHES "--workflow --preset ${stage}")
        message(FATAL_ERROR "stage ${stage} did not run (calls: ${calls}):\n${out}")
    endif()
endforeach()
foreach(line "default +passed +[0-9]+ s" "asan +FAILED \\(exit 3\\) +[0-9]+ s" "tsan +passed +[0-9]+ s")
    if(NOT out MATCHES "\n${line}\n")
        message(FATAL_ERROR "no summary line matching '${line}':\n${out}")
    endif()
endforeach()

run_check(out rc default tsan)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check.sh failed although every stage passed (${rc}):\n${out}")
endif()

run_check(out rc default nonsense)
if(NOT rc EQUAL 2 OR EXISTS "${work}/calls")
    message(FATAL_ERROR "an unknown stage must be refused before anything runs (${rc}):\n${out}")
endif()
file(REMOVE_RECURSE "${work}")
