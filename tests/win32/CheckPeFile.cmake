cmake_policy(SET CMP0057 NEW)
# Checks a Windows file of the build with objdump -p (run on the build host):
#   cmake -DOBJDUMP=... -DFILE=x.dll [-DEXPORTS=list] [-DFORMAT=pei-i386] -P CheckPeFile.cmake
# EXPORTS: the file exports exactly the names of that list (one a line).
# FORMAT: objdump's name of the file's format (pei-i386 for PE32, x86;
# pei-x86-64 for PE32+, x64).
# Always: it imports from Windows' own DLLs only (no C++ runtime, libgcc or
# winpthread DLL beside it).
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${FILE}")
endif()

if(FORMAT)
  string(REGEX MATCH "file format ([^\n]+)" found "${dump}")
  if(NOT CMAKE_MATCH_1 STREQUAL FORMAT)
    message(FATAL_ERROR "${FILE} is ${CMAKE_MATCH_1}, not ${FORMAT}")
  endif()
endif()

set(system_dlls ADVAPI32.DLL IPHLPAPI.DLL KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL SHELL32.DLL WINUSB.DLL WS2_32.DLL
    # and the utility's windows
    COMCTL32.DLL COMDLG32.DLL GDI32.DLL OLE32.DLL USER32.DLL)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(line ${imports})
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${FILE} needs ${dll}, which is not one of Windows' own DLLs")
  endif()
endforeach()

if(EXPORTS)
  # The names of the export table: "[   n] Name" lines after its heading.
  # (Brackets are dropped first: CMake lists treat them specially.)
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]*\\[[ 0-9]+\\] [^\n]+\n)*)" table "${dump}")
  string(REGEX REPLACE "[][]" "" rows "${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "[0-9]+ [^\n]+" entries "${rows}")
  set(exported "")
  foreach(entry ${entries})
    string(REGEX REPLACE "^[0-9]+ " "" name "${entry}")
    list(APPEND exported "${name}")
  endforeach()
  file(STRINGS ${EXPORTS} expected)
  list(SORT exported)
  list(SORT expected)
  if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "${FILE} exports\n  ${exported}\nbut ${EXPORTS} lists\n  ${expected}")
  endif()
  list(LENGTH exported count)
  message(STATUS "${FILE}: ${count} exports as listed")
endif()
message(STATUS "${FILE}: ${FORMAT} with imports from Windows' own DLLs only")
