option(QOLT_WERROR "Treat warnings as errors" OFF)
option(QOLT_BUILD_BENCH "Build the benchmarks in bench/" ON)
option(QOLT_BUILD_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)
set(QOLT_SANITIZE "" CACHE STRING "Sanitizers for every target: '', 'address,undefined' or 'thread'")

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

if(QOLT_SANITIZE)
    add_compile_options(-fsanitize=${QOLT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${QOLT_SANITIZE})
endif()

# Library, simulator and tool code: the full warning set. Tests get the basic set (gtest macros are noisy).
function(qolt_strict_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${QOLT_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion
            -Wcast-qual -Wformat=2 -Wundef -Wnon-virtual-dtor
            $<$<BOOL:${QOLT_WERROR}>:-Werror>)
    endif()
endfunction()

function(qolt_basic_warnings target)
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${QOLT_WERROR}>:-Werror>)
    endif()
endfunction()
