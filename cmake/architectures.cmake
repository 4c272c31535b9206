# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The architecture table, architectures.txt, for CMake. include() it for
#   sigsend_architecture_row(FIELD VALUE PREFIX): sets PREFIX_<COLUMN> (in
#     upper case) from the row whose FIELD is VALUE, or all to "" without one;
#   sigsend_architecture(BINARY PREFIX): the same for the row of the
#     executable BINARY, read from its ELF header, and PREFIX_HEADER to what
#     the header says. Neither the kernel's architecture (a 32-bit build on a
#     64-bit kernel) nor the configured processor can be trusted to match it.
# or run
#   cmake -DBINARY=FILE -P cmake/architectures.cmake
# to print "DEBIAN PLATFORM RPM", such as "armhf arm-v7 armv7hl", or fail
# naming the header where the table has no row for it.
set(SIGSEND_ARCHITECTURE_COLUMNS debian platform rpm triple processor multiarch musl qemu
    class data machine float)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/architectures.txt SIGSEND_ARCHITECTURE_ROWS
     REGEX "^[a-z0-9]")

function(sigsend_architecture_row field value prefix)
  foreach(column IN LISTS SIGSEND_ARCHITECTURE_COLUMNS)
    string(TOUPPER ${column} name)
    set(${prefix}_${name} "" PARENT_SCOPE)
  endforeach()
  list(FIND SIGSEND_ARCHITECTURE_COLUMNS ${field} at)
  foreach(row IN LISTS SIGSEND_ARCHITECTURE_ROWS)
    string(REGEX REPLACE "[ \t]+" ";" row "${row}")
    list(GET row ${at} cell)
    if(cell STREQUAL value)
      foreach(column IN LISTS SIGSEND_ARCHITECTURE_COLUMNS)
        list(POP_FRONT row cell)
        string(TOUPPER ${column} name)
        set(${prefix}_${name} ${cell} PARENT_SCOPE)
      endforeach()
      return()
    endif()
  endforeach()
endfunction()

function(sigsend_architecture binary prefix)
  file(READ "${binary}" elf LIMIT 52 HEX)
  string(SUBSTRING "${elf}" 8 2 class) # 01: 32-bit, 02: 64-bit
  string(SUBSTRING "${elf}" 10 2 data) # 01: little-endian, 02: big-endian
  string(SUBSTRING "${elf}" 36 4 machine)
  if(data STREQUAL "01") # e_machine is two bytes in the file's byte order
    string(REGEX REPLACE "^(..)(..)$" "\\2\\1" machine "${machine}")
  endif()
  set(float "-")
  if(machine STREQUAL "0028") # 32-bit ARM: e_flags tells the float ABI
    string(SUBSTRING "${elf}" 74 2 float)
  endif()
  set(header "${class}/${data}/${machine}/${float}")
  set(${prefix}_HEADER "${header}" PARENT_SCOPE)
  foreach(column IN LISTS SIGSEND_ARCHITECTURE_COLUMNS)
    string(TOUPPER ${column} name)
    set(${prefix}_${name} "" PARENT_SCOPE)
  endforeach()
  foreach(row IN LISTS SIGSEND_ARCHITECTURE_ROWS)
    string(REGEX REPLACE "[ \t]+" ";" row "${row}")
    list(SUBLIST row 8 4 known)
    list(JOIN known "/" known)
    if(header STREQUAL known)
      list(GET row 0 debian)
      sigsend_architecture_row(debian ${debian} ${prefix})
      foreach(column IN LISTS SIGSEND_ARCHITECTURE_COLUMNS)
        string(TOUPPER ${column} name)
        set(${prefix}_${name} ${${prefix}_${name}} PARENT_SCOPE)
      endforeach()
      return()
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  sigsend_architecture("${BINARY}" arch)
  if(NOT arch_DEBIAN)
    message(FATAL_ERROR "no architecture is known for ${BINARY} (ELF class/data/machine/float "
                        "${arch_HEADER}); add its row to cmake/architectures.txt.")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${arch_DEBIAN} ${arch_PLATFORM} ${arch_RPM}")
endif()
