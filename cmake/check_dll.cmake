# Checks the shipping pawn.kvx as a game's loader would meet it: a 32-bit PE DLL that exports exactly
# init, release and dependencies by their plain names and needs nothing beyond Windows' own DLLs (the
# C++ runtime, libgcc and winpthreads must be linked in, since no game ships them).
#   cmake -DDLL=<path to pawn.kvx> -DOBJDUMP=<i686-w64-mingw32-objdump> -P check_dll.cmake

if(NOT DLL OR NOT EXISTS "${DLL}")
    message(FATAL_ERROR "check_dll: no DLL at '${DLL}'")
endif()
if(NOT OBJDUMP)
    set(OBJDUMP i686-w64-mingw32-objdump)
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}"
    RESULT_VARIABLE status OUTPUT_VARIABLE dump ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "check_dll: ${OBJDUMP} -p ${DLL} failed (${status}): ${errors}")
endif()

# Square brackets group list elements in CMake; objdump's "[   0]" would spoil the line list.
string(REPLACE "[" "<" dump "${dump}")
string(REPLACE "]" ">" dump "${dump}")
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

set(failures "")

# The file: PE32 for i386.
string(REGEX MATCH "file format ([^\n]+)" _ "${dump}")
set(format "${CMAKE_MATCH_1}")
if(NOT format STREQUAL "pei-i386")
    list(APPEND failures "file format is '${format}', not pei-i386")
endif()
if(NOT dump MATCHES "Magic[ \t]+010b")
    list(APPEND failures "optional header is not PE32 (magic 010b)")
endif()

# The exports: the lines of the name table, up to the blank line that closes it.
set(exports "")
set(inNameTable FALSE)
foreach(line IN LISTS lines)
    if(line MATCHES "^<Ordinal/Name Pointer> Table")
        set(inNameTable TRUE)
    elseif(inNameTable)
        if(line MATCHES "^[ \t]*<[ 0-9]+>.*[ \t]([^ \t]+)[ \t]*$")
            list(APPEND exports "${CMAKE_MATCH_1}")
        else()
            set(inNameTable FALSE)
        endif()
    endif()
endforeach()

# The imports: one "DLL Name:" line per imported DLL (delay-loaded ones included).
set(imports "")
foreach(line IN LISTS lines)
    if(line MATCHES "DLL Name:[ \t]*([^ \t]+)")
        list(APPEND imports "${CMAKE_MATCH_1}")
    endif()
endforeach()

list(JOIN exports " " exportText)
list(JOIN imports " " importText)
message(STATUS "${DLL}: ${format}")
message(STATUS "exports: ${exportText}")
message(STATUS "imports: ${importText}")

set(required init release dependencies)
foreach(name IN LISTS required)
    list(FIND exports "${name}" at)
    if(at EQUAL -1)
        list(APPEND failures "export '${name}' is missing")
    endif()
endforeach()
set(seen "")
foreach(name IN LISTS exports)
    list(FIND seen "${name}" at)
    if(NOT at EQUAL -1)
        list(APPEND failures "export '${name}' appears twice")
    endif()
    list(APPEND seen "${name}")
    list(FIND required "${name}" at)
    # The loader calls DllMain through the entry point; an export of it is harmless.
    if(at EQUAL -1 AND NOT name MATCHES "^_?DllMain(@12)?$")
        list(APPEND failures "unexpected export '${name}'")
    endif()
endforeach()

if(NOT imports)
    list(APPEND failures "no imported DLLs found: the import table could not be read")
endif()
set(systemDlls kernel32.dll msvcrt.dll ucrtbase.dll user32.dll advapi32.dll ntdll.dll gdi32.dll
    shell32.dll ole32.dll oleaut32.dll ws2_32.dll winmm.dll bcrypt.dll)
foreach(name IN LISTS imports)
    string(TOLOWER "${name}" lower)
    list(FIND systemDlls "${lower}" at)
    if(at EQUAL -1 AND NOT lower MATCHES "^api-ms-win-.*\\.dll$")
        list(APPEND failures "imports '${name}', which is not a Windows system DLL")
    endif()
endforeach()

if(failures)
    list(JOIN failures "\n  " failureText)
    message(FATAL_ERROR "check_dll: ${DLL} fails:\n  ${failureText}")
endif()
message(STATUS "check_dll: ${DLL} is a PE32 i386 DLL with the three exports and system imports only")
