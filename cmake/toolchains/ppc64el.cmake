# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's ppc64el: 64-bit little-endian POWER8 and later
# (g++-powerpc64le-linux-gnu, musl-dev:ppc64el).
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(triple powerpc64le-linux-gnu)
set(multiarch powerpc64le-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
