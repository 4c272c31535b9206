# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Packages are labelled with the architecture of the executable inside them:
# a compiler for another word size (a 32-bit one on a 64-bit host, say),
# configured as if it were native, gives packages named after its row of
# cmake/architectures.txt, whatever the kernel says; and an executable for a
# processor that the packaging does not know stops cpack, naming it, with no
# package written. Says "skipped:" where the host has no such compiler; the
# .rpm is checked only where rpmbuild is (the rpm package).
# cmake -DSOURCE=dir -DCXX=compiler -DMULTIARCH=host's -DCPACK=cpack -DVERSION=x.y.z
#       -DSCRATCH=dir -P package-arch.cmake
file(REMOVE_RECURSE ${SCRATCH})
include(${SOURCE}/cmake/architectures.cmake)
find_program(rpmbuild rpmbuild)
set(generators DEB)
if(rpmbuild)
  list(APPEND generators RPM)
endif()

# Configures and builds sigsend in SCRATCH/NAME with COMPILER, then asks
# cpack for the packages of ${generators}: sets status, out and packages (their file names).
function(package name compiler)
  set(build ${SCRATCH}/${name})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env CXX=${compiler}
                          ${CMAKE_COMMAND} -S ${SOURCE} -B ${build} -DBUILD_TESTING=OFF
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target sigsend
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  if(ARGN) # replaces the executable, as a build for another processor would
    execute_process(COMMAND printf ${ARGN} OUTPUT_FILE ${build}/sigsend COMMAND_ERROR_IS_FATAL ANY)
  endif()
  execute_process(COMMAND ${CPACK} -G "${generators}" -B ${build}/packages
                  WORKING_DIRECTORY ${build} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  file(GLOB packages RELATIVE ${build}/packages ${build}/packages/*.deb ${build}/packages/*.rpm)
  foreach(var status out packages)
    set(${var} "${${var}}" PARENT_SCOPE)
  endforeach()
endfunction()

# The header of a 64-bit big-endian ELF executable for MIPS (e_machine 8).
package(unknown ${CXX} "\\177ELF\\2\\2\\1\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\2\\0\\10")
if(status EQUAL 0 OR packages OR NOT out MATCHES "no package architecture is known.*02/02/0008")
  message(FATAL_ERROR "cpack for a MIPS executable: status ${status}, packages '${packages}', "
                      "output:\n${out}")
endif()

sigsend_architecture_row(multiarch "${MULTIARCH}" host)
set(other "")
foreach(row IN LISTS SIGSEND_ARCHITECTURE_ROWS)
  string(REGEX REPLACE "[ \t]+" ";" row "${row}")
  list(GET row 0 debian)
  sigsend_architecture_row(debian ${debian} arch)
  find_program(compiler_${debian} ${arch_TRIPLE}-g++)
  if(compiler_${debian} AND NOT arch_CLASS STREQUAL host_CLASS)
    set(other ${debian})
    break()
  endif()
endforeach()
if(NOT other)
  message("skipped: no cross compiler of cmake/architectures.txt for another word size than "
          "the host's (${MULTIARCH}) to configure natively")
  return()
endif()
package(${other} ${compiler_${other}})
list(SORT packages)
set(expected "sigsend_${VERSION}_${other}.deb")
if(rpmbuild)
  set(expected "sigsend-${VERSION}-1.${arch_RPM}.rpm;${expected}")
else()
  message("no rpmbuild (the rpm package brings it): only the .deb is checked")
endif()
if(NOT status EQUAL 0 OR NOT packages STREQUAL expected)
  message(FATAL_ERROR "cpack for ${arch_TRIPLE}-g++ configured natively: status ${status}, "
                      "packages '${packages}', output:\n${out}")
endif()
message("ok: ${arch_TRIPLE}-g++ configured natively on ${MULTIARCH} gives ${packages}")
