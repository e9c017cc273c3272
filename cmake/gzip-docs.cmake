include_guard(GLOBAL)
# tavoren_gzip_docs(TARGET FILE...): compresses each FILE (paths in the
# current binary folder) into FILE.gz as Debian installs manual pages and
# changelogs: gzip -9, without the file's name and time (-n), so the same
# sources always give the same bytes. TARGET, built with ALL, makes them.
find_program(TAVOREN_GZIP gzip REQUIRED)
function(tavoren_gzip_docs target)
  set(outputs "")
  foreach(file IN LISTS ARGN)
    add_custom_command(
      OUTPUT ${file}.gz
      COMMAND ${TAVOREN_GZIP} -9 -n -f -k ${file}
      DEPENDS ${file}
      VERBATIM)
    list(APPEND outputs ${file}.gz)
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
