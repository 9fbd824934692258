# Makes the import library of a DLL from its module-definition file:
#   cmake -DNM=... -DDLLTOOL=... -DMACHINE=i386|i386:x86-64 -DDLL=x.dll -DDEF=x.def
#         -DWORK=dir -DLIB=x.lib -P ImportLibrary.cmake
# The .def names the exports undecorated. A 32-bit caller compiled with the
# header refers to a __stdcall function as _name@bytes, so on x86 each name
# is given to dlltool as name@bytes, the bytes read from the DLL's symbol
# table, and --kill-at binds that symbol to the plain exported name. On x64
# the names stay as they are.
execute_process(COMMAND ${NM} ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${DLL}")
endif()
file(READ ${DEF} def_text)
string(REGEX REPLACE "^.*\nEXPORTS\n" "" exports "${def_text}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" names "${exports}")
get_filename_component(dll_name ${DLL} NAME)
set(import_def "LIBRARY ${dll_name}\nEXPORTS\n")
foreach(name ${names})
  string(REGEX MATCH " T _${name}@([0-9]+)\n" found "${symbols}")
  if(found)
    string(APPEND import_def "    ${name}@${CMAKE_MATCH_1}\n")
  elseif(MACHINE STREQUAL "i386")
    message(FATAL_ERROR "${DLL} has no __stdcall symbol _${name}@<bytes> for the export ${name}")
  else()
    string(APPEND import_def "    ${name}\n")
  endif()
endforeach()
get_filename_component(base ${LIB} NAME_WE)
set(work_def ${WORK}/${base}-import.def)
file(WRITE ${work_def} "${import_def}")
execute_process(COMMAND ${DLLTOOL} --kill-at --input-def ${work_def} --dllname ${dll_name} --machine ${MACHINE}
                        --output-lib ${LIB} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed for ${LIB}")
endif()
