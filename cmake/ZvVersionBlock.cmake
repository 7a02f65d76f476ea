# zv_add_version_block(<target>): gives the target its version block, the ten version
# strings in the ELF section ".zvversion", read back by TZvVersionInfo. The strings come
# from the project version; the block is made at configure time.
#
# Block layout: the translation "040904E4" NUL, then name NUL value NUL for each string.
function(zv_add_version_block TARGET)
    set(_major ${PROJECT_VERSION_MAJOR})
    set(_minor ${PROJECT_VERSION_MINOR})
    set(_patch ${PROJECT_VERSION_PATCH})
    set(_tweak ${PROJECT_VERSION_TWEAK})
    foreach(_part _major _minor _patch _tweak)
        if("${${_part}}" STREQUAL "")
            set(${_part} 0)
        endif()
    endforeach()
    set(_fileVersion "${_major}.${_minor}.${_patch}.${_tweak}")
    set(_productVersion "${_major}.${_minor}")

    # In index order; the reader looks them up by name.
    set(_strings
        "CompanyName" "https://www.zorvik.example/"
        "FileDescription" "Zorvik Jotboard"
        "FileVersion" "${_fileVersion}"
        "InternalName" "jotboard"
        "LegalCopyright" ""
        "LegalTrademarks" ""
        "OriginalFilename" "jotboard"
        "ProductName" "Zorvik Jotboard"
        "ProductVersion" "${_productVersion}"
        "Comments" "")

    # Each text is its own literal, so a NUL never runs into the digits after it.
    set(_literals "    \"040904E4\\0\"\n")
    list(LENGTH _strings _count)
    math(EXPR _last "${_count} - 1")
    foreach(_i RANGE 0 ${_last} 2)
        math(EXPR _j "${_i} + 1")
        list(GET _strings ${_i} _name)
        list(GET _strings ${_j} _value)
        string(REPLACE "\\" "\\\\" _value "${_value}")
        string(REPLACE "\"" "\\\"" _value "${_value}")
        string(APPEND _literals "    \"${_name}\\0\" \"${_value}\\0\"\n")
    endforeach()

    set(_out ${CMAKE_CURRENT_BINARY_DIR}/${TARGET}_zvversion.cpp)
    set(_text "// Made by zv_add_version_block for ${TARGET}: its version strings.\n")
    string(APPEND _text "// The literal's own closing NUL ends the block.\n")
    string(APPEND _text "extern \"C\" __attribute__((section(\".zvversion\"), used, aligned(1)))\n")
    string(MAKE_C_IDENTIFIER "${TARGET}" _symbol)
    string(APPEND _text "const char zv_version_block_${_symbol}[] =\n${_literals};\n")
    # Only rewritten when it changes, so a re-run of CMake rebuilds nothing.
    file(CONFIGURE OUTPUT ${_out} CONTENT "${_text}" @ONLY)
    target_sources(${TARGET} PRIVATE ${_out})
    target_compile_definitions(${TARGET} PRIVATE ZVJ_VERSION_BLOCK_FILE_VERSION="${_fileVersion}")
endfunction()
