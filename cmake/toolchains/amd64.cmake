# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's amd64: 64-bit x86 (g++-x86-64-linux-gnu, musl-dev:amd64), so that
# a release names its target whatever machine builds it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-linux-gnu)
set(multiarch x86_64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
