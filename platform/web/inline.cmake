# Writes OUT: TEMPLATE with the program SCRIPT in place of @TAVOREN_JS@ and
# the release in place of @TAVOREN_VERSION@.
file(READ ${TEMPLATE} page)
file(READ ${SCRIPT} script)
string(TOLOWER "${script}" lower)
string(FIND "${lower}" "</script" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "${SCRIPT} contains </script and cannot be inlined")
endif()
string(REPLACE "@TAVOREN_VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@TAVOREN_JS@" "${script}" page "${page}")
file(WRITE ${OUT} "${page}")
