#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Checks a release's SBOMs against the SPDX 2.3 JSON schema and against what
they describe: each names its binary's SHA-256, the musl that this machine's
packages hold for that architecture and the version of its cross compiler,
links both statically, and the release's notices carry musl's copyright file.
Usage: tests/sbom.py RELEASE_DIR"""
import glob, hashlib, json, os, re, subprocess, sys

import jsonschema

here = os.path.dirname(os.path.abspath(__file__))
schema = json.load(open(os.path.join(here, "spdx-2.3-schema.json")))
debian = {"amd64": "amd64", "arm64": "arm64", "arm-v7": "armhf", "arm-v5": "armel",
          "386": "i386", "ppc64le": "ppc64el", "s390x": "s390x", "riscv64": "riscv64"}
release = sys.argv[1]
notices = open(glob.glob(os.path.join(release, "sigsend-*-NOTICES.txt"))[0]).read()
passed = 0


def musl(arch):
    """The version and copyright file of musl for a Debian architecture."""
    query = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", f"musl-dev:{arch}"],
                           capture_output=True, text=True)
    if query.returncode == 0:
        return query.stdout, "/usr/share/doc/musl-dev/copyright"
    lib = "/usr/lib/riscv64-linux-musl"  # scripts/riscv64-deps, from source
    return open(f"{lib}/source").read().split()[1], f"{lib}/copyright"


for path in sorted(glob.glob(os.path.join(release, "sigsend-*-linux-*.spdx.json"))):
    name = os.path.basename(path)[: -len(".spdx.json")]
    arch = debian[re.sub(r"^sigsend-[^-]*-linux-", "", name)]
    doc = json.load(open(path))
    jsonschema.validate(doc, schema, format_checker=jsonschema.FormatChecker())
    sigsend, *works = doc["packages"]
    by_name = {work["name"]: work for work in works}
    binary = hashlib.sha256(open(os.path.join(release, name), "rb").read()).hexdigest()
    version, copyright_file = musl(arch)
    toolchain = open(os.path.join(here, "..", "cmake", "toolchains", f"{arch}.cmake")).read()
    triple = re.search(r"set\(triple (\S+)\)", toolchain).group(1)
    gcc = subprocess.run([f"{triple}-g++", "-dumpfullversion"], capture_output=True,
                         text=True, check=True).stdout.strip()
    links = {(r["spdxElementId"], r["relationshipType"], r["relatedSpdxElement"])
             for r in doc["relationships"]}
    checks = {
        "checksum": sigsend["checksums"] == [{"algorithm": "SHA256", "checksumValue": binary}],
        "musl version": by_name["musl"]["versionInfo"] == version,
        "musl cpe": any(ref["referenceLocator"] == "cpe:2.3:a:musl-libc:musl:%s:*:*:*:*:*:*:*"
                        % version.split(":")[-1].rsplit("-", 1)[0]
                        for ref in by_name["musl"]["externalRefs"]),
        "gcc version": by_name["gcc-runtime"]["versionInfo"] == gcc,
        "describes": ("SPDXRef-DOCUMENT", "DESCRIBES", "SPDXRef-sigsend") in links,
        "static links": all(("SPDXRef-sigsend", "STATIC_LINK", w["SPDXID"]) in links
                            for w in works),
        "musl's notice": open(copyright_file).read().strip() in notices,
    }
    failed = [check for check, ok in checks.items() if not ok]
    if failed:
        sys.exit(f"FAILED: {name}.spdx.json: {', '.join(failed)}")
    members = [m for w in works for m in w["comment"].split(": ", 1)[1].split()]
    print(f"ok: {name}.spdx.json: musl {version}, GCC {gcc}, "
          f"{sum('libc.a(' in m for m in members)} libc.a and "
          f"{sum('libgcc.a(' in m for m in members)} libgcc.a members")
    passed += 1
print(f"sbom: {passed} passed, 0 failed")
sys.exit(0 if passed == len(debian) else f"FAILED: {passed} SBOMs, not {len(debian)}")
