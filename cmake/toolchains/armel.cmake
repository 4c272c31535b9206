# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's armel: 32-bit ARMv5TE with software floating point
# (g++-arm-linux-gnueabi, musl-dev:armel).
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
set(triple arm-linux-gnueabi)
set(multiarch arm-linux-gnueabi)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
