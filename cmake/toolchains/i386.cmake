# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's i386: 32-bit x86 (g++-i686-linux-gnu, musl-dev:i386). Many x86-64
# hosts run it natively, but not all: some have no 32-bit user mode.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-linux-gnu)
set(multiarch i386-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
