# Makes, out of a system DLL's ordinary MinGW import library, the library through which
# quillet.exe binds every function the DLL exports at its first call instead of when the
# program starts. KIND is
#   delay-import   a delay-import library (GNU dlltool), for GNU ld;
#   short-import   the same imports as a short import library (llvm-dlltool), which LLVM's lld
#                  turns into delay imports itself when told to delay the DLL.
# Run in script mode:
#   cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DIMPORT_LIBRARY=<libX.a> -DDLL=<X.dll> -DOUTPUT=<out.a>
#         -DKIND=<kind> -P delay_import_library.cmake
foreach(variable NM DLLTOOL IMPORT_LIBRARY DLL OUTPUT KIND)
  if(NOT ${variable})
    message(FATAL_ERROR "delay_import_library: ${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND "${NM}" "${IMPORT_LIBRARY}" OUTPUT_VARIABLE symbols ERROR_QUIET
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "delay_import_library: ${NM} could not read ${IMPORT_LIBRARY}")
endif()
# Each imported function has its import-table slot __imp_<name> in the library.
string(REGEX MATCHALL " I __imp_[^\r\n]+" slots "${symbols}")
set(exports "")
foreach(slot IN LISTS slots)
  string(REPLACE " I __imp_" "" name "${slot}")
  string(APPEND exports "${name}\n")
endforeach()
if(exports STREQUAL "")
  message(FATAL_ERROR "delay_import_library: no functions found in ${IMPORT_LIBRARY}")
endif()

set(definitions "${OUTPUT}.def")
file(WRITE "${definitions}" "LIBRARY ${DLL}\nEXPORTS\n${exports}")
if(KIND STREQUAL "delay-import")
  execute_process(COMMAND "${DLLTOOL}" --output-delaylib "${OUTPUT}" --input-def "${definitions}"
                          --dllname "${DLL}"
                  RESULT_VARIABLE result)
elseif(KIND STREQUAL "short-import")
  execute_process(COMMAND "${DLLTOOL}" -m i386:x86-64 -d "${definitions}" -l "${OUTPUT}" -D "${DLL}"
                  RESULT_VARIABLE result)
else()
  message(FATAL_ERROR "delay_import_library: unknown KIND ${KIND}")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "delay_import_library: ${DLLTOOL} failed for ${DLL}")
endif()
