# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Installs the build twice, into a prefix and through DESTDIR, and checks that
# the program, its manual and its documents land where a user looks for them,
# with the notices that fit the build: the static one names musl and has
# SBOMs of the very executable installed; the fallback embeds no C library.
# cmake -DBUILD=dir -DSCRATCH=dir -DVERSION=x.y.z -DSTATIC=ON|OFF -P install.cmake
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${SCRATCH}/prefix
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
set(ENV{DESTDIR} ${SCRATCH}/destdir)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

foreach(root ${SCRATCH}/prefix ${SCRATCH}/destdir/usr)
  set(docs ${root}/share/doc/sigsend)
  foreach(file bin/sigsend share/man/man1/sigsend.1 share/doc/sigsend/README.md
               share/doc/sigsend/copyright share/doc/sigsend/NOTICES)
    if(NOT EXISTS ${root}/${file})
      message(FATAL_ERROR "${root}/${file} was not installed")
    endif()
  endforeach()
  file(READ ${docs}/copyright copyright)
  if(STATIC AND NOT copyright MATCHES "\nComment: Linked statically with musl ")
    message(FATAL_ERROR "the static build's copyright names no musl:\n${copyright}")
  elseif(NOT STATIC AND (copyright MATCHES "musl" OR EXISTS ${docs}/sigsend.spdx.json))
    message(FATAL_ERROR "the fallback's copyright or SBOM names a C library it does not hold")
  endif()
  if(STATIC)
    file(READ ${docs}/sigsend.spdx.json sbom)
    string(JSON listed GET "${sbom}" packages 0 checksums 0 checksumValue)
    file(READ ${docs}/sigsend.cdx.json cyclonedx)
    string(JSON also GET "${cyclonedx}" metadata component hashes 0 content)
    file(SHA256 ${root}/bin/sigsend installed)
    if(NOT listed STREQUAL installed OR NOT also STREQUAL installed)
      message(FATAL_ERROR "the SBOMs list ${listed} and ${also}, and the installed sigsend is ${installed}")
    endif()
  endif()
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
