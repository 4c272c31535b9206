# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""cmake/architectures.txt: a row per architecture, its columns named by the last comment before the first."""


def parse(text):
    """The rows, each a dict keyed by the header's column names."""
    header, rows = None, []
    for number, line in enumerate(text.splitlines(), 1):
        if line.startswith("#") and not rows:
            header = line[1:].split()
        if line.startswith("#") or not line.strip():
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


def columns(rows, names):
    """The columns NAMES of every row, space-separated, a row a line, whatever the table's column order."""
    for name in names:
        if name not in rows[0]:
            raise ValueError(f"architectures.txt has no column {name}; it has {' '.join(rows[0])}")
    return "".join(" ".join(row[name] for name in names) + "\n" for row in rows)
