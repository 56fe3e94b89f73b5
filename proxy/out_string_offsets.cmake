# Corrects widl's procedure format string for [out, string] pointers to strings.
#
#     cmake -DIN=<widl's kvtlog_p.c> -DOUT=<corrected copy> -P out_string_offsets.cmake
#
# For a parameter such as `[out, string] LPWSTR* text`, widl describes the type as a
# reference pointer that points at the string pointer:
#
#     /* 104 (LPWSTR *) */  0x11, 0x14,  FC_RP [allocated_on_stack] [pointer_deref]
#                           NdrFcShort(0x2),  Offset= 2 (108)
#     /* 108 (LPWSTR) */    0x13, 0x8,   FC_OP [simple_pointer] -> FC_C_WSTRING
#
# but the parameter's entry in the procedure format string names the inner string pointer
# (type offset 108) instead of the reference pointer (104). The interpreter then marshals
# the caller's LPWSTR* as if it were the string pointer itself, and the string never
# reaches the other process: the caller gets null. Every parameter entry with the out flag
# whose type offset names such an inner pointer is pointed back at its reference pointer;
# nothing else in the file changes. An input without the fault passes through unchanged.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED IN OR NOT DEFINED OUT)
    message(FATAL_ERROR "usage: cmake -DIN=<kvtlog_p.c> -DOUT=<corrected kvtlog_p.c> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
file(READ "${IN}" code)

set(line "[^\n]*\n")
set(indent "[ \t]*")

# Reference pointers that dereference to a simple pointer to a conformant string (wide or
# narrow), two bytes behind them: remember inner offset -> outer offset.
set(ref_to_string
    "/\\* ([0-9]+) \\([^)\n]*\\) \\*/\n${indent}0x11, 0x14,${line}${indent}NdrFcShort\\(0x2\\),${line}"
    "/\\* ([0-9]+) \\([^)\n]*\\) \\*/\n${indent}0x1[23], 0x8,${line}/\\*${line}${indent}0x2[25],")
string(CONCAT ref_to_string ${ref_to_string})
string(REGEX MATCHALL "${ref_to_string}" refs "${code}")
set(inner_offsets "")
foreach(ref IN LISTS refs)
    string(REGEX MATCH "${ref_to_string}" _ "${ref}")
    list(APPEND inner_offsets ${CMAKE_MATCH_2})
    set(outer_of_${CMAKE_MATCH_2} ${CMAKE_MATCH_1})
endforeach()

# Parameter entries that are not base types: flags, stack offset, type offset.
set(parameter
    "/\\* [0-9]+ \\(parameter [^)\n]*\\) \\*/\n"
    "${indent}NdrFcShort\\((0x[0-9a-f]+)\\),${line}"
    "${indent}NdrFcShort\\(0x[0-9a-f]+\\),${line}"
    "${indent}NdrFcShort\\(0x[0-9a-f]+\\),${indent}/\\* type offset = ([0-9]+) \\*/")
string(CONCAT parameter ${parameter})
string(REGEX MATCHALL "${parameter}" entries "${code}")
foreach(entry IN LISTS entries)
    string(REGEX MATCH "${parameter}" _ "${entry}")
    set(flags ${CMAKE_MATCH_1})
    set(offset ${CMAKE_MATCH_2})
    math(EXPR is_out "${flags} & 0x10")  # the parameter's out flag
    if(is_out AND offset IN_LIST inner_offsets)
        set(outer ${outer_of_${offset}})
        math(EXPR outer_hex "${outer}" OUTPUT_FORMAT HEXADECIMAL)
        string(REGEX REPLACE "NdrFcShort\\(0x[0-9a-f]+\\),([ \t]*)/\\* type offset = ${offset} \\*/$"
               "NdrFcShort(${outer_hex}),\\1/* type offset = ${outer} (corrected from ${offset}) */"
               corrected "${entry}")
        # Each entry starts with its own procedure-string position, so it occurs once.
        string(REPLACE "${entry}" "${corrected}" code "${code}")
    endif()
endforeach()

file(WRITE "${OUT}" "${code}")
