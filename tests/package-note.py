#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The package metadata note (.note.package) and the build ID of built
executables, as readelf -n reads them, for any architecture. A note names
sigsend, the version, the Debian architecture of its ELF header, the type
"generic" and sigsend's licence, and no distribution: the same bytes ship
in a .deb, an .rpm and an image.
  build BINARY VERSION [WANTED]  a build tree's sigsend carries a build ID
      and a note that is byte for byte WANTED, the JSON that CMake handed
      the linker: nothing was lost to the shell's or make's quoting.
      Without WANTED the linker cannot write one.
  release DIR VERSION  each architecture's binary in the release folder
      carries a build ID of its own and a note, which its SBOM quotes.
Shares no code with what wrote them."""
import json, os, re, shutil, subprocess, sys

HERE = os.path.dirname(os.path.abspath(__file__))


def fail(said):
    sys.exit("FAILED: " + said)


def skip(said):
    """Ends the check as ctest's skip, SAID saying why it cannot run here."""
    print(said)
    sys.exit(0)


def table():
    with open(os.path.join(HERE, "..", "cmake", "architectures.txt")) as f:
        lines = f.read().splitlines()
    columns = [line for line in lines if line.startswith("#")][-1][1:].split()
    return [dict(zip(columns, line.split())) for line in lines if line[:1].isalnum()]


def architecture(path):
    """The Debian name of the table's row for the executable's ELF header."""
    with open(path, "rb") as f:
        data = f.read(52)
    if len(data) < 52 or data[:4] != b"\x7fELF":
        fail(f"{path} is no ELF file")
    header = {"class": "%02x" % data[4], "data": "%02x" % data[5],
              "machine": "%04x" % int.from_bytes(data[18:20], "little" if data[5] == 1 else "big")}
    header["float"] = "%02x" % data[37] if header["machine"] == "0028" else "-"
    rows = [row["debian"] for row in table() if all(row[k] == v for k, v in header.items())]
    if not rows:
        fail(f"{path}: no row of cmake/architectures.txt has the ELF header {header}")
    return rows[0]


def note(path):
    """The note's JSON text, as readelf prints it, after checking that
    PATH has a build ID."""
    done = subprocess.run(["readelf", "-n", "--wide", path], capture_output=True, text=True,
                          env=dict(os.environ, LC_ALL="C"))
    if done.returncode != 0:
        fail(f"readelf -n {path}: {done.stderr.strip()}")
    if not re.search(r"Build ID: [0-9a-f]{16,}$", done.stdout, re.M):
        fail(f"{path} has no build ID: {done.stdout.strip() or 'no notes at all'}")
    found = re.findall(r"Packaging Metadata: (.*)$", done.stdout, re.M)
    if not found and "FDO_PACKAGING_METADATA" not in done.stdout and "0xcafe1a7e" not in done.stdout:
        fail(f"{path} carries no package metadata note: {done.stdout.strip() or 'no notes at all'}")
    if not found:
        skip(f"skipped: this readelf does not decode the note of {path} (binutils 2.39 does)")
    if len(found) != 1:
        fail(f"{path} carries {len(found)} package metadata notes")
    return found[0].strip()


def check(path, version, **more):
    """The note of PATH, parsed, after checking that it names sigsend,
    VERSION, the architecture of its header and MORE."""
    text = note(path)
    try:
        said = json.loads(text)
    except ValueError as e:
        fail(f"{path}'s note is no JSON ({e}): {text}")
    want = dict({"name": "sigsend", "version": version, "architecture": architecture(path), "type": "generic",
                 "license": "MIT", "os": None, "osVersion": None}, **more)
    wrong = {key: said.get(key) for key, value in want.items() if said.get(key) != value}
    if wrong:
        fail(f"{path}'s note {text} gives {wrong}, not {want}")
    return text


if __name__ == "__main__":
    if not shutil.which("readelf"):
        skip("skipped: no readelf (the binutils package brings it)")
    if sys.argv[1:2] == ["build"] and len(sys.argv) in (4, 5):
        path, version, wanted = (sys.argv[2:] + [""])[:3]
        if not wanted:
            skip("skipped: the linker cannot write a package metadata note (--package-metadata)")
        text = check(path, version)
        if text != wanted:
            fail(f"{path}'s note is {text}, not {wanted}, which the build asked the linker for")
        print(f"ok: {path} carries a build ID and the package metadata note {text}")
    elif sys.argv[1:2] == ["release"] and len(sys.argv) == 4:
        folder, version = sys.argv[2:4]
        ids = set()
        for row in table():
            name = f"sigsend-{version}-linux-{row['platform']}"
            path = os.path.join(folder, name)
            text = check(path, version)
            ids.add(subprocess.run(["readelf", "-n", path], capture_output=True, text=True).stdout)
            if architecture(path) != row["debian"]:
                fail(f"{name} is a binary for {architecture(path)}, not {row['debian']}")
            with open(path + ".spdx.json") as f:
                comment = json.load(f)["packages"][0].get("comment", "")
            if not comment.endswith(" " + text):
                fail(f"{name}.spdx.json does not quote its binary's note {text}: {comment!r}")
            print(f"ok: {name} carries a build ID and {text}, which its SBOM quotes")
        ids = {re.search(r"Build ID: (\S+)", said).group(1) for said in ids}
        if len(ids) != len(table()):
            fail(f"the {len(table())} binaries have {len(ids)} build IDs")
        print(f"package-note: {len(table())} passed, 0 failed")
    else:
        sys.exit("usage: tests/package-note.py build BINARY VERSION [WANTED] | release DIR VERSION")
