# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""An executable's architecture from its ELF header, which neither the kernel's (a 32-bit build on a
64-bit kernel) nor the configured processor is sure to match."""


def header(data):
    """EI_CLASS, EI_DATA, e_machine and, for 32-bit ARM, e_flags' float ABI byte, as architectures.txt has them."""
    if len(data) < 52 or data[:4] != b"\x7fELF":
        raise ValueError("not an ELF file")
    machine = int.from_bytes(data[18:20], "little" if data[5] == 1 else "big")
    return {"class": "%02x" % data[4], "data": "%02x" % data[5], "machine": "%04x" % machine,
            "float": "%02x" % data[37] if machine == 0x28 else "-"}


def row(data, rows):
    """The row of the architecture table for an executable's first bytes."""
    said = header(data)
    for found in rows:
        if all(found[key] == value for key, value in said.items()):
            return found
    raise ValueError("no architecture is known for ELF class/data/machine/float %s; add its row to "
                     "cmake/architectures.txt" % "/".join(said.values()))
