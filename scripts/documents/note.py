# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The package metadata note that the linker writes into an executable
(--package-metadata): a section .note.package in a note segment, owner
"FDO", type 0xcafe1a7e, whose descriptor is a JSON object ended by NUL."""
import struct

PT_NOTE = 4
FDO_PACKAGING_METADATA = 0xCAFE1A7E


def package(data):
    """The note's JSON text in the ELF file DATA, or None where it has none."""
    if len(data) < 52 or data[:4] != b"\x7fELF":
        raise ValueError("not an ELF file")
    order, wide = "<" if data[5] == 1 else ">", data[4] == 2
    phoff = struct.unpack_from(order + ("Q" if wide else "I"), data, 0x20 if wide else 0x1C)[0]
    size, count = struct.unpack_from(order + "HH", data, 0x36 if wide else 0x2A)
    for i in range(count):
        if wide:
            kind, _, offset, _, _, length, _, align = struct.unpack_from(order + "IIQQQQQQ", data, phoff + i * size)
        else:
            kind, offset, _, _, length, _, _, align = struct.unpack_from(order + "8I", data, phoff + i * size)
        if kind != PT_NOTE:
            continue
        step = 8 if align == 8 else 4
        at, end = offset, min(offset + length, len(data))
        while at + 12 <= end:
            namesz, descsz, note = struct.unpack_from(order + "III", data, at)
            desc = at + 12 + -(-namesz // step) * step
            if note == FDO_PACKAGING_METADATA and data[at + 12:at + 12 + namesz] == b"FDO\0":
                return data[desc:desc + descsz].rstrip(b"\0").decode("utf-8")
            at = desc + -(-descsz // step) * step
    return None
