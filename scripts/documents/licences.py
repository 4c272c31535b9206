# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Debian's licence names and SPDX's, and which stanzas of a Debian machine-readable copyright file
cover the files that the linker took from a work."""
import re

# Debian's short name -> SPDX's expression. The public domain is no licence, so it stands in no
# expression (None); a name missing here stops the build.
SPDX = {"MIT": "MIT", "BSD-2-clause": "BSD-2-Clause", "BSD-3-clause": "BSD-3-Clause", "ISC": "ISC",
        "public-domain": None, "GPL-3+ with GCC-exception-3.1 exception": "GPL-3.0-or-later WITH GCC-exception-3.1"}
DEBIAN = {spdx: debian for debian, spdx in SPDX.items() if spdx}


def spdx(debian):
    """SPDX's identifier for Debian's short name, None for the public domain."""
    if debian not in SPDX:
        raise ValueError(f"a file under {debian}, which has no SPDX identifier here")
    return SPDX[debian]


def debian(expression):
    """Debian's form of an SPDX expression joined by AND."""
    return " and ".join(DEBIAN[term] for term in expression.split(" AND "))


def join_once(terms, sep):
    """The terms, each once, in the order first met, joined by sep."""
    return sep.join(dict.fromkeys(terms))


def paragraphs(text):
    return re.split(r"\n[ \t]*\n", text)


def field(paragraph, name):
    """A field's value with its continuation lines, "" where it is missing."""
    found = re.search(r"(^|\n)%s:([^\n]*(\n[ \t][^\n]*)*)" % re.escape(name), paragraph)
    return found.group(2) if found else ""


def stanzas(text):
    """The Files stanzas of a copyright file: [(patterns, licence)]."""
    return [(field(p, "Files").split(), field(p, "License").split("\n")[0].strip())
            for p in paragraphs(text) if re.search(r"(^|\n)Files:", p)]


def glob(pattern):
    """A Files pattern as a regular expression: * and ? match slashes too."""
    return re.compile("".join(".*" if c == "*" else "." if c == "?" else re.escape(c) for c in pattern) + r"\Z")


def licence_paragraph(text, name):
    """The stand-alone paragraph of licence NAME in a copyright file."""
    for paragraph in paragraphs(text):
        if paragraph.startswith(f"License: {name}\n"):
            return paragraph.rstrip("\n")
    raise ValueError(f"no paragraph of the licence {name}")


def covering(text, members, arch):
    """Which licences of the copyright file TEXT cover MEMBERS, [(name, kind)] that the linker took: "src" for an
    archive member NAME.lo, "crt" for a start file NAME.o, of musl for ARCH. A stripped archive names no member's
    source, so a member stands for each file that could have built it (generic C, or ARCH's C or assembly, in
    any folder a pattern names), under the last stanza matching it. Returns, in stanza order, [{license,
    members, files, shared}], shared the members that other candidates give other licences."""
    found = [(i, licence, pattern, glob(pattern))
             for i, (patterns, licence) in enumerate(stanzas(text)) for pattern in patterns]
    dirs = sorted({p.split("/")[1] for _, _, p, _ in found
                   if p.startswith("src/") and not re.search(r"[*?]", p.split("/")[1])} | {"-"})
    groups = {}  # licence -> {index, members, files, shared}
    for name, kind in members:
        stem = re.sub(r"\.(lo|o)\)?$", "", re.sub(r"^.*\(", "", name))
        folders = [f"src/{d}" for d in dirs] if kind == "src" else ["crt"]
        candidates = [path for f in folders for path in [f"{f}/{stem}.c"] + [f"{f}/{arch}/{stem}.{e}" for e in "csS"]]
        hits = {}  # stanza index -> (licence, pattern), the first candidate's
        for path in candidates:
            last = [hit for hit in found if hit[3].match(path)]
            if not last:
                raise ValueError(f"no stanza of the copyright file covers {path}")
            index, licence, pattern, _ = last[-1]
            hits.setdefault(index, (licence, pattern))
        shared = len({licence for licence, _ in hits.values()}) > 1
        for index, (licence, pattern) in hits.items():
            group = groups.setdefault(licence, {"index": index, "members": set(), "files": set(), "shared": set()})
            group["index"] = min(group["index"], index)
            group["members"].add(name)
            group["files"].add(pattern)
            if shared:
                group["shared"].add(name)
    return [{"license": licence, **{key: sorted(g[key]) for key in ("members", "files", "shared")}}
            for licence, g in sorted(groups.items(), key=lambda item: (item[1]["index"], item[0]))]
