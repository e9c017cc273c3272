# Run by cpack on the staged files before it packs them: with
# SOURCE_DATE_EPOCH set, every file and folder takes that time, so that the
# packages do not depend on when they were built.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  return()
endif()
foreach(dir IN ITEMS "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" "${CPACK_TEMPORARY_DIRECTORY}")
  if(dir AND IS_DIRECTORY "${dir}")
    execute_process(COMMAND find "${dir}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "cannot set the times of the staged files in ${dir}")
    endif()
  endif()
endforeach()
