# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's armhf: 32-bit ARMv7 with hardware floating point
# (g++-arm-linux-gnueabihf, musl-dev:armhf).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(triple arm-linux-gnueabihf)
set(multiarch arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
