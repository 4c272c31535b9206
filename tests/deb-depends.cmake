# SPDX-License-Identifier: MIT
# Packs the build on the system C library as on a machine without dpkg-dev,
# and then without file: each time cpack must refuse, naming the package to
# install, rather than write a .deb that does not depend on libc6. The tool
# is hidden in a mount namespace of the test's own, which needs root.
# cmake -DCPACK=cpack -DBUILD=dir -DSCRATCH=dir -P deb-depends.cmake
execute_process(COMMAND unshare --mount --propagation private true
                RESULT_VARIABLE status ERROR_VARIABLE why ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0) # not root, or in a chroot, where / is no mount point
  message("skipped: no private mount namespace to hide a program in: ${why}")
  return()
endif()
foreach(tool "dpkg-shlibdeps|dpkg-dev" "file|file")
  string(REPLACE "|" ";" tool "${tool}")
  list(GET tool 0 program)
  list(GET tool 1 package)
  find_program(path ${program} NO_CACHE REQUIRED)
  file(REMOVE_RECURSE ${SCRATCH})
  # /dev/null in its place is no executable, so no search finds the program.
  execute_process(COMMAND unshare --mount --propagation private
                          sh -c "mount --bind /dev/null '${path}' && exec \"$@\"" sh
                          ${CPACK} -G DEB -B ${SCRATCH} --config ${BUILD}/CPackConfig.cmake
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(GLOB debs ${SCRATCH}/*.deb)
  if(status EQUAL 0 OR debs OR NOT out MATCHES "install the ${package} package")
    message(FATAL_ERROR "without ${program}, cpack: status ${status}, packages '${debs}', "
                        "output:\n${out}")
  endif()
  unset(path)
endforeach()
