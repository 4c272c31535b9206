# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What a built sigsend holds besides its own code, as text: NOTICES
(sigsend's licence, then the notice of each work linked into it) and
Debian's machine-readable copyright file for the package."""
import re
from documents import licences


def holder(license_text):
    """sigsend's copyright holders, from its LICENSE."""
    found = re.findall(r"^Copyright \(c\) (.*)$", license_text, re.M)
    if not found:
        raise ValueError("LICENSE names no copyright holder")
    return "\n".join(found)


def indent(text):
    """TEXT as a field's continuation lines."""
    return "\n".join(" " + (line or ".") for line in text.rstrip("\n").split("\n"))


def notices(license_text, works):
    """NOTICES: sigsend's LICENSE, then each work's notice (works as
    works.describe() gives them)."""
    return "\n\n".join([license_text.rstrip("\n")] + [w["notice"] for w in works]) + "\n"


def copyright(license_text, works):
    """Debian's copyright file: sigsend's own files under MIT, and its
    executable under every licence of what it links."""
    who = holder(license_text)
    dep5 = licences.join_once(["MIT"] + [t for w in works for t in w["debian"]], " and ")
    out = ["Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
           "Upstream-Name: sigsend", "", "Files: *", f"Copyright: {who}", "License: MIT"]
    if works:
        summary = "".join(("" if i == 0 or w["name"] == "musl" else " and") + " " + w["summary"]
                          for i, w in enumerate(works))
        out += ["", "Files: usr/bin/sigsend", f"Copyright: {who}"]
        out += [" " + line for w in works for line in w["made"].split("\n") if line]
        out += [f"License: {dep5}", f"Comment: Linked statically with{summary}.", " .",
                indent("".join(w["embedded"] for w in works))]
    out += ["", "License: MIT", indent(license_text)]
    out += [paragraph for w in works for s in w["standalone"] for paragraph in ("", s)]
    gcc = [w for w in works if w["name"] == "gcc-runtime"]
    if gcc:
        out += ["", "License: GPL-3+ with GCC-exception-3.1 exception",
                " On Debian systems, the GNU General Public License version 3 is in",
                " /usr/share/common-licenses/GPL-3.", " .", indent(gcc[0]["fsf"]), " .",
                indent(gcc[0]["exception"])]
    return "\n".join(out) + "\n"
