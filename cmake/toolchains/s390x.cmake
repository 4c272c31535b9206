# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's s390x: 64-bit IBM Z, big-endian (g++-s390x-linux-gnu, musl-dev:s390x).
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(triple s390x-linux-gnu)
set(multiarch s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
