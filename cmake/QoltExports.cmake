# The exported names come from the public header: every declaration line that starts with one of the export
# macros. The Linux build exports all three kinds, macOS the plain and POSIX ones, Windows the plain ones
# (through __declspec). A version script keeps everything else, C++ library instances included, local.
function(qolt_exported_names header out_var)
    file(STRINGS "${header}" _lines REGEX "^QOLT_(EXT_|POSIX_)?API[ \t]")
    set(_names)
    foreach(_line IN LISTS _lines)
        if(_line MATCHES "^QOLT_([A-Z_]*)API[ \t].*[ \t*]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(")
            set(_kind "${CMAKE_MATCH_1}")
            set(_name "${CMAKE_MATCH_2}")
            if(_kind STREQUAL "" OR (_kind STREQUAL "EXT_" AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
               OR (_kind STREQUAL "POSIX_" AND NOT WIN32))
                list(APPEND _names "${_name}")
            endif()
        endif()
    endforeach()
    list(REMOVE_DUPLICATES _names)
    set(${out_var} "${_names}" PARENT_SCOPE)
endfunction()

# Writes the export files for the names into dir: qolt_exports.txt (one name a line, for the tests), and the
# linker's list for the platform: qolt_exports.map (a version script, Linux and the BSDs),
# qolt_exports.exp (macOS) or qolt_exports.def (Windows: the DLL's export table and both import libraries
# are made from it, so the names stay undecorated whatever the compiler).
function(qolt_write_export_files names dir)
    string(REPLACE ";" "\n" _text "${names}")
    qolt_write_if_changed("${dir}/qolt_exports.txt" "${_text}\n")
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_SYSTEM_NAME MATCHES "BSD")
        set(_map "{\n")
        if(names)
            string(APPEND _map "  global:\n")
        endif()
        foreach(_n IN LISTS names)
            string(APPEND _map "    ${_n};\n")
        endforeach()
        string(APPEND _map "  local:\n    *;\n};\n")
        qolt_write_if_changed("${dir}/qolt_exports.map" "${_map}")
    elseif(APPLE)
        set(_list "")
        foreach(_n IN LISTS names)
            string(APPEND _list "_${_n}\n")
        endforeach()
        qolt_write_if_changed("${dir}/qolt_exports.exp" "${_list}")
    elseif(WIN32)
        set(_def "LIBRARY ${QOLT_DLL_NAME}\nEXPORTS\n")
        foreach(_n IN LISTS names)
            string(APPEND _def "    ${_n}\n")
        endforeach()
        qolt_write_if_changed("${dir}/qolt_exports.def" "${_def}")
    endif()
endfunction()

# The library links against the map, so a map written at every configure would relink the library and
# everything linked to it at every build: write it only when its text changes.
function(qolt_write_if_changed path text)
    if(EXISTS "${path}")
        file(READ "${path}" _old)
        if(_old STREQUAL text)
            return()
        endif()
    endif()
    file(WRITE "${path}" "${text}")
endfunction()

function(qolt_apply_export_list target header)
    qolt_exported_names("${header}" _names)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
    qolt_write_export_files("${_names}" "${CMAKE_BINARY_DIR}")
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_SYSTEM_NAME MATCHES "BSD")
        target_link_options(${target} PRIVATE "LINKER:--version-script=${CMAKE_BINARY_DIR}/qolt_exports.map")
        # clang leaves the sanitizer runtimes out of shared objects, so --no-undefined only holds unsanitized.
        if(NOT QOLT_SANITIZE)
            target_link_options(${target} PRIVATE "LINKER:--no-undefined")
        endif()
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${CMAKE_BINARY_DIR}/qolt_exports.map")
    elseif(APPLE)
        target_link_options(${target} PRIVATE "LINKER:-exported_symbols_list,${CMAKE_BINARY_DIR}/qolt_exports.exp")
    elseif(WIN32 AND NOT MSVC)
        # With a .def file the MinGW linker exports what it lists and nothing else; --out-implib (CMake's
        # libQOLT300x64.dll.a) follows it. The MSVC import library is made from the same file.
        target_link_options(${target} PRIVATE "${CMAKE_BINARY_DIR}/qolt_exports.def" "LINKER:--no-undefined")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${CMAKE_BINARY_DIR}/qolt_exports.def")
        if(CMAKE_DLLTOOL)
            add_custom_command(TARGET ${target} POST_BUILD
                COMMAND ${CMAKE_DLLTOOL} --machine i386:x86-64 --input-def "${CMAKE_BINARY_DIR}/qolt_exports.def"
                    --dllname ${QOLT_DLL_NAME} --output-lib "$<TARGET_FILE_DIR:${target}>/${QOLT_DLL_BASE}.lib"
                COMMENT "MSVC import library ${QOLT_DLL_BASE}.lib"
                VERBATIM)
        endif()
    elseif(MSVC)
        target_sources(${target} PRIVATE "${CMAKE_BINARY_DIR}/qolt_exports.def")
    endif()
endfunction()
