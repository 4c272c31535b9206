# SPDX-License-Identifier: MIT
# Debian's i386: 32-bit x86 (g++-i686-linux-gnu, musl-dev:i386). An x86-64
# host runs it natively.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-linux-gnu)
set(multiarch i386-linux-gnu)
set(qemu i386)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
