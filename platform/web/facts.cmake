# Writes the program's fixed facts (the driver's --describe) for the page:
# OUT_JSON as they are, for fill.cmake, and OUT_JS as the script that page.js
# reads them from (var TavorenFacts). DRIVER: the driver's command line.
execute_process(COMMAND ${DRIVER} --describe OUTPUT_VARIABLE facts RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR facts STREQUAL "")
  message(FATAL_ERROR "${DRIVER} --describe failed (${status})")
endif()
string(STRIP "${facts}" facts)
file(WRITE ${OUT_JSON} "${facts}\n")
file(WRITE ${OUT_JS} "// The program's fixed facts, written by the build from tavoren-headless --describe.\nvar TavorenFacts = ${facts};\n")
