# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What every cross build shares, with Debian's cross compilers and multiarch
# libraries. Each toolchain file names the target and includes this one:
#   cmake -B out/arm64 --toolchain cmake/toolchains/arm64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${multiarch})
# Programs are the host's; libraries, headers and packages the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
