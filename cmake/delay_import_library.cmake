# Makes a delay-import library for one system DLL out of its ordinary MinGW import library:
# every function the DLL exports, bound at its first call instead of when the program starts.
# Run in script mode:
#   cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DIMPORT_LIBRARY=<libX.a> -DDLL=<X.dll> -DOUTPUT=<out.a>
#         -P delay_import_library.cmake
foreach(variable NM DLLTOOL IMPORT_LIBRARY DLL OUTPUT)
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
execute_process(COMMAND "${DLLTOOL}" --output-delaylib "${OUTPUT}" --input-def "${definitions}"
                        --dllname "${DLL}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "delay_import_library: ${DLLTOOL} failed for ${DLL}")
endif()
