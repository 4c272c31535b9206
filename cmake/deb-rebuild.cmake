# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Runs after cpack. CPack counts each folder's size on the build's disk into a .deb's Installed-Size (4096
# bytes on ext4, a few dozen on tmpfs), so the package's bytes would follow the filesystem of the builder's
# TMPDIR: dpkg-deb rebuilds each .deb with the size dpkg-gencontrol counts (each file rounded up to a KiB,
# one KiB for each folder or link), and with the Static-Built-Using field, which CPack does not know.
find_program(DPKG_DEB dpkg-deb)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$" OR NOT DPKG_DEB)
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} -R ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true ${tree}/*)
  list(FILTER entries EXCLUDE REGEX "^${tree}/DEBIAN(/|$)")
  set(kib 0)
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY ${entry} OR IS_SYMLINK ${entry})
      math(EXPR kib "${kib} + 1")
    else()
      file(SIZE ${entry} size)
      math(EXPR kib "${kib} + (${size} + 1023) / 1024")
    endif()
  endforeach()
  file(READ ${tree}/DEBIAN/control control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control "${control}")
  if(CPACK_SIGSEND_STATIC_BUILT_USING)
    string(REGEX REPLACE "\nDescription: " "\nStatic-Built-Using: ${CPACK_SIGSEND_STATIC_BUILT_USING}\nDescription: "
           control "${control}")
  endif()
  file(WRITE ${tree}/DEBIAN/control "${control}")
  file(CHMOD ${tree}/DEBIAN PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
             WORLD_EXECUTE)
  file(CHMOD ${tree}/DEBIAN/control ${tree}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zgzip -z9 --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
