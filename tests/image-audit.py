#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The release's OCI image archive, read as files: its one reference names
an index with a manifest for each row of cmake/architectures.txt; each
platform's layer holds a binary whose ELF header is that platform's row;
beside it, not executable, the release's notices, that binary's SBOM and
a VEX that holds exactly the release's statements for that binary; and each manifest names its
own SBOM's licences. Stops at the first failure.
Usage: tests/image-audit.py ARCHIVE VERSION"""
import hashlib, io, json, os, sys, tarfile

here = os.path.dirname(os.path.abspath(__file__))
archive, tag = sys.argv[1:3]
release = os.path.dirname(os.path.abspath(archive))
with open(os.path.join(here, "..", "cmake", "architectures.txt")) as f:
    lines = f.read().splitlines()
columns = [line for line in lines if line.startswith("#")][-1][1:].split()
table = [dict(zip(columns, line.split())) for line in lines if line[:1].isalnum()]
passed = 0


def ok(said):
    global passed
    print("ok: " + said)
    passed += 1


def fail(said):
    sys.exit("FAILED: " + said)


def machine(data):
    """The platform of the table's row for an executable's ELF header."""
    header = {"class": "%02x" % data[4], "data": "%02x" % data[5],
              "machine": "%04x" % int.from_bytes(data[18:20], "little" if data[5] == 1 else "big")}
    header["float"] = "%02x" % data[37] if header["machine"] == "0028" else "-"
    rows = [row["platform"] for row in table if all(row[k] == v for k, v in header.items())]
    return rows[0] if rows else "no row of the table (%s)" % "/".join(header.values())


def read(path):
    with open(path, "rb") as f:
        return f.read()


with tarfile.open(archive) as tar:
    layout = {m.name: tar.extractfile(m).read() for m in tar.getmembers() if m.isfile()}


def blob(digest):
    return layout["blobs/sha256/" + digest.split(":", 1)[1]]


top = json.loads(layout["index.json"])
refs = " ".join(m.get("annotations", {}).get("org.opencontainers.image.ref.name", "") for m in top["manifests"])
if refs != f"sigsend:{tag}":
    fail(f"the archive's references are '{refs}', not 'sigsend:{tag}'")
ok(f"the archive's one reference is sigsend:{tag}")
index = json.loads(blob(top["manifests"][0]["digest"]))


def platform(described):
    return "-".join(filter(None, [described["platform"]["architecture"], described["platform"].get("variant")]))


platforms = " ".join(sorted(platform(m) for m in index["manifests"]))
want = " ".join(sorted(row["platform"] for row in table))
if platforms != want:
    fail(f"the index's platforms are '{platforms}', not '{want}'")
ok(f"the index has a manifest for each architecture: {platforms}")

vex = json.loads(read(os.path.join(release, f"sigsend-{tag}.openvex.json")))
for described in index["manifests"]:
    name = platform(described)
    manifest = json.loads(blob(described["digest"]))
    with tarfile.open(fileobj=io.BytesIO(blob(manifest["layers"][0]["digest"]))) as layer:
        files = {m.name: m for m in layer.getmembers() if not m.isdir()}
        data = {n: layer.extractfile(m).read() for n, m in files.items() if m.isfile()}
    binary = data.get("sigsend", b"")
    if len(binary) < 52 or machine(binary) != name:
        fail(f"the {name} layer holds a binary for {machine(binary) if len(binary) >= 52 else 'nothing'}")
    modes = {n: (m.type, m.mode, m.uid, m.gid) for n, m in files.items()}
    docs = "usr/share/doc/sigsend/"
    want = {"sigsend": (tarfile.REGTYPE, 0o755, 0, 0)} | {
        docs + n: (tarfile.REGTYPE, 0o644, 0, 0) for n in ("NOTICES", "sigsend.openvex.json", "sigsend.spdx.json")}
    if modes != want:
        fail(f"the {name} layer's files are: {modes}")
    ok(f"the {name} layer holds a binary for {name}, mode 0755, and its documents, 0644, owned by 0:0")
    for inside, outside in (("NOTICES", f"sigsend-{tag}-NOTICES.txt"),
                            ("sigsend.spdx.json", f"sigsend-{tag}-linux-{name}.spdx.json")):
        if data[docs + inside] != read(os.path.join(release, outside)):
            fail(f"the {name} layer's {inside} is not the release's {outside}")
    ok(f"the {name} layer holds the release's notices and this binary's SBOM")
    sha = hashlib.sha256(binary).hexdigest()
    statements = json.loads(data[docs + "sigsend.openvex.json"])["statements"]
    theirs = [st for st in vex["statements"] if any(p["hashes"]["sha-256"] == sha for p in st["products"])]
    key = lambda st: json.dumps(st, sort_keys=True)
    if not statements or sorted(map(key, statements)) != sorted(map(key, theirs)):
        fail(f"the {name} layer's VEX is not the release's statements for its binary {sha}")
    licences = manifest["annotations"]["org.opencontainers.image.licenses"]
    sbom = json.loads(data[docs + "sigsend.spdx.json"])["packages"][0]["licenseConcluded"]
    if licences != sbom:
        fail(f"the {name} image's licences are '{licences}', its SBOM's '{sbom}'")
    ok(f"the {name} layer holds this binary's VEX, and the image names its SBOM's licences")
print(f"image-audit: {passed} passed, 0 failed")
