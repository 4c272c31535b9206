# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Cross builds with Debian's cross compilers and multiarch libraries, for any
# row of architectures.txt, named by its Debian name:
#   cmake -B out/DEBIAN --toolchain cmake/toolchain.cmake -DSIGSEND_ARCH=DEBIAN
# or, the same, `SIGSEND_ARCH=DEBIAN cmake --workflow --preset cross`.
include(${CMAKE_CURRENT_LIST_DIR}/architectures.cmake)
set(SIGSEND_ARCH "${SIGSEND_ARCH}" CACHE STRING "The Debian architecture to build for")
sigsend_architecture_row(debian "${SIGSEND_ARCH}" target)
if(NOT target_DEBIAN)
  message(FATAL_ERROR "SIGSEND_ARCH is '${SIGSEND_ARCH}', which no row of "
                      "cmake/architectures.txt names.")
endif()
# try_compile() reads this file again, in a project of its own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SIGSEND_ARCH)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${target_PROCESSOR})
set(CMAKE_CXX_COMPILER ${target_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${target_MULTIARCH})
# Programs are the host's; libraries, headers and packages the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
