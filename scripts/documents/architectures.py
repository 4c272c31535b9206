# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""cmake/architectures.txt: one row per architecture, its columns named by
the last comment line before the first row."""


def parse(text):
    """The rows, each a dict keyed by the header's column names."""
    header, rows = None, []
    for number, line in enumerate(text.splitlines(), 1):
        if line.startswith("#"):
            if not rows:
                header = line[1:].split()
            continue
        if not line.strip():
            continue
        cells = line.split()
        if not header or len(cells) != len(header):
            raise ValueError(f"architectures.txt line {number} does not have the header's "
                             f"{len(header or [])} columns")
        rows.append(dict(zip(header, cells)))
    if not rows:
        raise ValueError("architectures.txt has no rows")
    return rows


def read(path):
    with open(path, encoding="utf-8") as file:
        return parse(file.read())
