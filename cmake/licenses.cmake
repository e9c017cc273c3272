include_guard(GLOBAL)
# tavoren_license_file(OUTPUT NOTICES [CRLF]): writes OUTPUT, the LICENSE.txt
# that goes beside a build: the project's licence (LICENSE) followed by
# packaging/notices/NOTICES.txt, the notices of the third-party code linked
# into that build. CRLF gives Windows line ends (for Notepad and the
# installer's licence page).
function(tavoren_license_file output notices)
  set(newline UNIX)
  if(ARGN STREQUAL "CRLF")
    set(newline CRLF)
  endif()
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE TAVOREN_LICENSE_TEXT)
  file(READ ${PROJECT_SOURCE_DIR}/packaging/notices/${notices}.txt TAVOREN_NOTICES_TEXT)
  set(TAVOREN_LICENSE_TEXT "${TAVOREN_LICENSE_TEXT}
==============================================================================
Third-party notices
==============================================================================

${TAVOREN_NOTICES_TEXT}")
  file(CONFIGURE OUTPUT ${output} CONTENT "@TAVOREN_LICENSE_TEXT@" @ONLY NEWLINE_STYLE ${newline})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE
               ${PROJECT_SOURCE_DIR}/packaging/notices/${notices}.txt)
endfunction()
