# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's arm64: 64-bit ARM (g++-aarch64-linux-gnu, musl-dev:arm64).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(multiarch aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
