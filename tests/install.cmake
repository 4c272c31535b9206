# SPDX-License-Identifier: MIT
# Installs the build twice, into a prefix and through DESTDIR, and checks that
# the program, its manual and its documents land where a user looks for them.
# cmake -DBUILD=dir -DSCRATCH=dir -DVERSION=x.y.z -P install.cmake
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${SCRATCH}/prefix
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
set(ENV{DESTDIR} ${SCRATCH}/destdir)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

foreach(root ${SCRATCH}/prefix ${SCRATCH}/destdir/usr)
  foreach(file bin/sigsend share/man/man1/sigsend.1 share/doc/sigsend/README.md
               share/doc/sigsend/copyright)
    if(NOT EXISTS ${root}/${file})
      message(FATAL_ERROR "${root}/${file} was not installed")
    endif()
  endforeach()
  execute_process(COMMAND ${root}/bin/sigsend OUTPUT_VARIABLE out ERROR_VARIABLE err
                  RESULT_VARIABLE status)
  if(NOT out STREQUAL "Arguments : pid sig\n" OR NOT err STREQUAL "" OR NOT status EQUAL 0)
    message(FATAL_ERROR "installed sigsend: status ${status}, out '${out}', err '${err}'")
  endif()
  file(STRINGS ${root}/share/man/man1/sigsend.1 title REGEX "^\\.TH ")
  if(NOT title MATCHES "\"sigsend ${VERSION}\"")
    message(FATAL_ERROR "the manual's title line names another version: ${title}")
  endif()
endforeach()
