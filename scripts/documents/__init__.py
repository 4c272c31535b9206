# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The documents of a release (SHA256SUMS, the buildinfo, the architecture
table), each read and written by a module named after it.
`/usr/bin/python3 -I scripts/documents SUBCOMMAND ...` runs its commands."""
