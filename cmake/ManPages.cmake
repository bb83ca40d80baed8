# Manual pages made with help2man from each program's own --help and --version, so a page
# never drifts from its program. packaging/man/<program>.h2m adds what --help leaves out
# (environment, exit status, examples). Installed gzipped, as Debian wants them.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(penwick_man_default ON)
else()
  set(penwick_man_default OFF)
endif()
option(PENWICK_MANPAGES "Build and install the manual pages (needs help2man)" ${penwick_man_default})
if(PENWICK_MANPAGES AND NOT HELP2MAN)
  message(FATAL_ERROR "PENWICK_MANPAGES is ON but help2man was not found")
endif()

set(penwick_man_pages "")

# penwick_man_page(NAME DESCRIPTION PROGRAM [SUBCOMMANDS sub...] [DEPENDS target...]):
# NAME.1.gz from PROGRAM (a target's file or a script) and the --help of each subcommand,
# with packaging/man/NAME.h2m included.
function(penwick_man_page name description program)
  if(NOT PENWICK_MANPAGES)
    return()
  endif()
  cmake_parse_arguments(M "" "" "SUBCOMMANDS;DEPENDS" ${ARGN})
  list(JOIN M_SUBCOMMANDS " " subcommands)
  set(dir ${CMAKE_BINARY_DIR}/man)
  # help2man names the page after the program it runs: a wrapper of that name runs the real
  # program through help2man-run.sh.
  file(GENERATE OUTPUT ${dir}/run/${name}
       CONTENT "#!/bin/sh\nexec '${PROJECT_SOURCE_DIR}/cmake/help2man-run.sh' '${program}' '${name}' '${PROJECT_VERSION}' '${subcommands}' \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  set(include ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
  add_custom_command(OUTPUT ${dir}/${name}.1.gz
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${description}
            --include=${include} --output=${dir}/${name}.1 ${dir}/run/${name}
    COMMAND gzip -9nf ${dir}/${name}.1
    DEPENDS ${M_DEPENDS} ${include} ${PROJECT_SOURCE_DIR}/cmake/help2man-run.sh
    COMMENT "Manual page ${name}(1)"
    VERBATIM)
  set(penwick_man_pages ${penwick_man_pages} ${dir}/${name}.1.gz PARENT_SCOPE)
endfunction()

function(penwick_man_pages_done)
  if(NOT PENWICK_MANPAGES)
    return()
  endif()
  add_custom_target(man_pages ALL DEPENDS ${penwick_man_pages})
  add_dependencies(installed man_pages)
  install(FILES ${penwick_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
