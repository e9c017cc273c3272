# Writes OUT: TEMPLATE with the program SCRIPT in place of @TAVOREN_JS@ and
# the release in place of @TAVOREN_VERSION@.
file(READ ${TEMPLATE} page)
file(READ ${SCRIPT} script)
# Inside a script element these would end it or change how it is read.
string(TOLOWER "${script}" lower)
foreach(bad "</script" "<!--")
  string(FIND "${lower}" "${bad}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${SCRIPT} contains ${bad} and cannot be inlined")
  endif()
endforeach()
string(REPLACE "@TAVOREN_VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@TAVOREN_JS@" "${script}" page "${page}")
file(WRITE ${OUT} "${page}")
