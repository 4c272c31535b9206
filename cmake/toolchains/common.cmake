# SPDX-License-Identifier: MIT
# What every cross build shares, with Debian's cross compilers and multiarch
# libraries. Each toolchain file names the target and includes this one:
#   cmake -B out/arm64 --toolchain cmake/toolchains/arm64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${multiarch})
# Programs are the host's; libraries, headers and packages the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# A binary that the host CPU cannot run goes through qemu-user: ctest runs the
# tests with it, and the binaries that they start run through binfmt_misc.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR AND
   NOT (CMAKE_HOST_SYSTEM_PROCESSOR STREQUAL "x86_64" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$"))
  find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES qemu-${qemu}-static qemu-${qemu})
endif()
