# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Debian's riscv64: 64-bit RISC-V (g++-riscv64-linux-gnu; musl and GoogleTest
# from scripts/riscv64-deps where the archive has no riscv64 packages).
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(triple riscv64-linux-gnu)
set(multiarch riscv64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
