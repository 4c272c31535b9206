# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Runs inside cpack once the files are staged, to finish them the way Debian and RPM packages are finished.
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
# Debian's changelog file (an RPM keeps its changelog in the header). Static linking is deliberate, for
# start-up speed, and the field that names what it links is newer than Debian 12's lintian.
if(CPACK_GENERATOR STREQUAL "DEB")
  configure_file(${CPACK_SIGSEND_CHANGELOG} ${usr}/share/doc/sigsend/changelog COPYONLY)
  if(CPACK_SIGSEND_STATIC)
    file(WRITE ${usr}/share/lintian/overrides/sigsend
         "# Linked statically against musl on purpose, for start-up speed.\n"
         "sigsend: statically-linked-binary [usr/bin/sigsend]\n"
         "# Debian's field for what is linked statically, which older lintian does not know.\n"
         "sigsend: unknown-field Static-Built-Using\n")
  endif()
endif()
# Manual pages and the changelog gzip-compressed without name or time stamp.
file(GLOB pages ${usr}/share/man/man*/*.[1-9] ${usr}/share/doc/sigsend/changelog)
foreach(file IN LISTS pages)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# Modes as the packages' users expect whatever the builder's umask: programs 0755, everything else 0644,
# folders 0755. rpmbuild clamps each file's time to SOURCE_DATE_EPOCH but keeps older ones, such as a
# checkout's: make every file newer, so that all come out the same.
set(rwxr_xr_x OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
file(CHMOD_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" DIRECTORY_PERMISSIONS ${rwxr_xr_x}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(CHMOD ${programs} PERMISSIONS ${rwxr_xr_x})
file(TOUCH_NOCREATE ${staged})
