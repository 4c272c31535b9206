#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Checks a release's SBOMs against the SPDX 2.3 JSON schema and against what
they describe: each names its binary's SHA-256, the musl and the cross
compiler that the release's buildinfo says its root held for that
architecture, links both statically, gives each a supplier and the root's
distro, and the release's notices carry musl's copyright file (where this
machine has the same musl-dev to compare with). 32-bit ARM's musl holds the
BSD-licensed memcpy.S. Each SPDX SBOM links the system to what it contains,
as scanners follow it, and the CycloneDX SBOM beside it says the same of
each work. Then checks the release's OpenVEX document against OpenVEX
0.2.0's rules, that it answers every advisory for every binary, and names
each by the purls of the release's .deb and .rpm that carry it and of its
package note. With `schema`, checks each CycloneDX SBOM against the
CycloneDX JSON schema of its version and 1.6's, as npm's
@cyclonedx/cyclonedx-library ships them (scripts/provision installs it).
Usage: tests/sbom.py RELEASE_DIR | schema RELEASE_DIR|NOTICES_DIR"""
import glob, hashlib, json, os, re, shutil, subprocess, sys

try:
    import jsonschema
except ImportError:
    print("skipped: no jsonschema for Python (the python3-jsonschema package)")
    sys.exit(0)

here = os.path.dirname(os.path.abspath(__file__))
if sys.argv[1] == "schema":
    folder = "/opt/sigsend-tools/node_modules/@cyclonedx/cyclonedx-library/res/schema"
    if not os.path.isdir(folder):
        print(f"skipped: no CycloneDX schemas in {folder} (npm's @cyclonedx/cyclonedx-library)")
        sys.exit(0)
    store = {"http://cyclonedx.org/schema/" + n: json.load(open(os.path.join(folder, n)))
             for n in ("spdx.SNAPSHOT.schema.json", "jsf-0.82.SNAPSHOT.schema.json")}
    paths = sorted(glob.glob(os.path.join(sys.argv[2], "sigsend*.cdx.json")))
    for path in paths:
        doc = json.load(open(path))
        for version in sorted({doc["specVersion"], "1.6"}):
            schema = json.load(open(os.path.join(folder, f"bom-{version}.SNAPSHOT.schema.json")))
            try:
                jsonschema.validate(doc, schema, resolver=jsonschema.RefResolver.from_schema(schema, store=store),
                                    format_checker=jsonschema.FormatChecker())
            except jsonschema.ValidationError as e:
                sys.exit(f"FAILED: {os.path.basename(path)} against CycloneDX {version}: {e.message}")
        print(f"ok: {os.path.basename(path)} is valid CycloneDX {doc['specVersion']}, and against 1.6's schema")
    print(f"sbom schema: {len(paths)} passed, 0 failed" if paths else "FAILED: no CycloneDX SBOM")
    sys.exit(0 if paths else 1)
schema = json.load(open(os.path.join(here, "spdx-2.3-schema.json")))
# The table's columns are named by its last comment line.
with open(os.path.join(here, "..", "cmake", "architectures.txt")) as f:
    lines = f.read().splitlines()
columns = [line for line in lines if line.startswith("#")][-1][1:].split()
table = [dict(zip(columns, line.split())) for line in lines if line[:1].isalnum()]
by_platform = {row["platform"]: row for row in table}
release = sys.argv[1]
# musl's licences, as its copyright file gives them for the files that
# sigsend links: MIT, and on 32-bit ARM (EM_ARM, e_machine 0x28) also
# BSD-2-Clause, for src/string/arm/memcpy.S.
musl_licences = {row["platform"]: "MIT AND BSD-2-Clause" if row["machine"] == "0028" else "MIT"
                 for row in table}
# The root that built the release, as its buildinfo records it: each
# package of Installed-Build-Depends by name (arch-qualified where foreign).
buildinfo, fields, field = open(glob.glob(os.path.join(release, "sigsend-*.buildinfo"))[0]).read(), {}, None
for line in buildinfo.splitlines():
    if line.startswith(" "):
        fields[field] += line[1:] + "\n"
    else:
        field, _, value = line.partition(":")
        fields[field] = value.strip()
installed = dict(re.fullmatch(r"(\S+) \(= (.*)\),?", line).groups()
                 for line in fields["Installed-Build-Depends"].splitlines() if line)
native = fields["Build-Architecture"]
os_id = fields["Build-Origin"].lower()
distro = "%s-%s" % (os_id, installed["base-files"].split(".")[0])


def package(name, arch):
    return installed.get(name if arch == native else f"{name}:{arch}")


def upstream(version):
    return re.sub(r"^\d+:|-[^-]*$", "", version)
notices = open(glob.glob(os.path.join(release, "sigsend-*-NOTICES.txt"))[0]).read()


def cyclonedx(path, spdx, binary):
    """The CycloneDX SBOM beside an SPDX one names the same binary, works,
    purls, CPEs and licences, and the system depends on each work."""
    doc = json.load(open(path))
    top, works = doc["metadata"]["component"], [c for c in doc["components"] if c["type"] == "library"]
    refs = [sorted(r["referenceLocator"] for r in p["externalRefs"]) for p in spdx["packages"][1:-1]]
    system = [c["bom-ref"] for c in doc["components"] if c["type"] == "operating-system"]
    depends = {d["ref"]: d.get("dependsOn", []) for d in doc["dependencies"]}
    return (top["hashes"] == [{"alg": "SHA-256", "content": binary}] and
            [sorted([w["purl"], w["cpe"]]) for w in works] == refs and
            [w["licenses"] for w in works] == [[{"expression": p["licenseConcluded"]}] for p in spdx["packages"][1:-1]]
            and top["licenses"] == [{"expression": spdx["packages"][0]["licenseConcluded"]}] and len(system) == 1
            and depends.get(system[0]) == [w["bom-ref"] for w in works])
passed = 0
hashes = set()  # the release's binaries, by SHA-256


def host_musl(row):
    """The version and copyright file of this machine's musl for an
    architecture: dpkg's answer, or that of the files that
    scripts/from-source lays beside it; None where it has none."""
    query = shutil.which("dpkg-query") and subprocess.run(
        ["dpkg-query", "-W", "-f", "${Version}", f"musl-dev:{row['debian']}"], capture_output=True, text=True)
    if query and query.returncode == 0 and query.stdout:
        return query.stdout, "/usr/share/doc/musl-dev/copyright"
    lib = f"/usr/lib/{row['musl']}"
    if os.path.exists(f"{lib}/source"):
        return open(f"{lib}/source").read().split()[1], f"{lib}/copyright"
    return None, None


for path in sorted(glob.glob(os.path.join(release, "sigsend-*-linux-*.spdx.json"))):
    name = os.path.basename(path)[: -len(".spdx.json")]
    platform = re.sub(r"^sigsend-[^-]*-linux-", "", name)
    row = by_platform[platform]
    doc = json.load(open(path))
    jsonschema.validate(doc, schema, format_checker=jsonschema.FormatChecker())
    sigsend, *works = doc["packages"]
    by_name = {work["name"]: work for work in works}
    binary = hashlib.sha256(open(os.path.join(release, name), "rb").read()).hexdigest()
    hashes.add(binary)
    version = package("musl-dev", row["debian"])
    compilers = [v for k, v in installed.items()
                 if re.fullmatch(r"g\+\+-\d+-%s" % re.escape(row["triple"].replace("_", "-")), k)]
    gcc = upstream(compilers[0]) if len(compilers) == 1 else None
    host_version, copyright_file = host_musl(row)
    same_musl = host_version == version
    links = {(r["spdxElementId"], r["relationshipType"], r["relatedSpdxElement"])
             for r in doc["relationships"]}
    checks = {
        "checksum": sigsend["checksums"] == [{"algorithm": "SHA256", "checksumValue": binary}],
        "musl version": by_name["musl"]["versionInfo"] == version,
        "musl cpe": any(ref["referenceLocator"].startswith("cpe:2.3:a:musl-libc:musl:") and
                        ref["referenceLocator"].split(":")[5] in version
                        for ref in by_name["musl"]["externalRefs"]),
        "gcc version": by_name["gcc-runtime"]["versionInfo"] == gcc,
        "describes": ("SPDXRef-DOCUMENT", "DESCRIBES", "SPDXRef-sigsend") in links,
        "static links": all(("SPDXRef-sigsend", "STATIC_LINK", w["SPDXID"]) in links
                            for w in works if w["primaryPackagePurpose"] == "LIBRARY"),
        "musl's notice": not same_musl or open(copyright_file).read().strip() in notices,
        "name": doc["name"] == name,
        "musl licences": by_name["musl"]["licenseConcluded"] == musl_licences[platform],
        "sigsend licences": set(sigsend["licenseConcluded"].split(" AND ")) ==
                            {"MIT"} | {t for w in works if w["primaryPackagePurpose"] == "LIBRARY"
                                       for t in w["licenseConcluded"].split(" AND ")},
        "suppliers": all(w.get("supplier", "").startswith("Organization: ") for w in doc["packages"]),
        "distro": all(("distro=%s" % distro) in ref["referenceLocator"] for w in works
                      for ref in w.get("externalRefs", []) if ref["referenceType"] == "purl"),
        "operating system": any(w["primaryPackagePurpose"] == "OPERATING_SYSTEM" and
                                w["name"] == os_id for w in works),
        "sigsend purl": any(ref["referenceLocator"].startswith("pkg:generic/sigsend@")
                            for ref in sigsend["externalRefs"]),
        "scanners' links": ("SPDXRef-sigsend", "DEPENDS_ON", "SPDXRef-OperatingSystem") in links and all(
            ("SPDXRef-OperatingSystem", "CONTAINS", w["SPDXID"]) in links and
            w["sourceInfo"].startswith("built package from: ") for w in works if w["primaryPackagePurpose"] == "LIBRARY"),
        "musl's source": by_name["musl"]["sourceInfo"] == f"built package from: musl {version}",
        "cyclonedx": cyclonedx(path.replace(".spdx.json", ".cdx.json"), doc, binary) if
                     os.path.exists(path.replace(".spdx.json", ".cdx.json")) else False,
    }
    failed = [check for check, ok in checks.items() if not ok]
    if failed:
        sys.exit(f"FAILED: {name}.spdx.json: {', '.join(failed)}")
    members = [m for w in works if w["primaryPackagePurpose"] == "LIBRARY"
               for m in w["comment"].split(": ", 1)[1].split(". ")[0].split()]
    print(f"ok: {name}.spdx.json: musl {version}, GCC {gcc}, "
          f"{sum('libc.a(' in m for m in members)} libc.a and "
          f"{sum('libgcc.a(' in m for m in members)} libgcc.a members; musl's notice "
          + ("compared with this machine's" if same_musl else
             f"not compared: this machine has musl-dev {host_version}, the root had {version}"))
    passed += 1
if passed != len(table):
    sys.exit(f"FAILED: {passed} SBOMs, not one for each of the {len(table)} architectures")

# OpenVEX 0.2.0: the document's and each statement's required members, the
# four statuses, exactly one of justification and impact_statement where not
# affected, an action_statement where affected; then one statement for each
# advisory and each binary, naming the binary by its SHA-256.
statuses = {"not_affected", "affected", "fixed", "under_investigation"}
vex = json.load(open(glob.glob(os.path.join(release, "sigsend-*.openvex.json"))[0]))
advisories = json.load(open(os.path.join(here, "..", "scripts", "advisories.json")))["advisories"]
problems = [f"no {key}" for key in ("@context", "@id", "author", "timestamp", "version", "statements")
            if not vex.get(key)]
if vex.get("@context") != "https://openvex.dev/ns/v0.2.0":
    problems.append("@context %r" % vex.get("@context"))
answered = set()
for i, st in enumerate(vex.get("statements", [])):
    if not st.get("vulnerability", {}).get("name"):
        problems.append(f"statement {i}: no vulnerability.name")
    if st.get("status") not in statuses:
        problems.append(f"statement {i}: status {st.get('status')!r}")
    if st.get("status") == "not_affected" and ("justification" in st) == ("impact_statement" in st):
        problems.append(f"statement {i}: not_affected needs one of justification and impact_statement")
    if st.get("status") == "affected" and not st.get("action_statement"):
        problems.append(f"statement {i}: affected without an action_statement")
    for product in st.get("products", []):
        if "hashes" in product:  # the binary's own product; the others name what carries it
            answered.add((st["vulnerability"]["name"], product["hashes"].get("sha-256")))
    named = [p["@id"] for p in st.get("products", [])]
    arch = re.search(r"\?arch=(\S+)$", named[0] if named else "")
    row = [r for r in table if arch and r["debian"] == arch.group(1)]
    version = re.sub(r"^pkg:generic/sigsend@([^?]*).*", r"\1", named[0] if named else "")
    carried = {f"sigsend_{version}_{r['debian']}.deb": f"pkg:deb/{os_id}/sigsend@{version}?arch={r['debian']}"
               for r in row} | {f"sigsend-{version}-1.{r['rpm']}.rpm": f"pkg:rpm/fedora/sigsend@{version}-1?arch="
                                f"{r['rpm']}" for r in row}
    problems += [f"statement {i} does not name {name} as {purl}" for name, purl in carried.items()
                 if purl not in named or not os.path.exists(os.path.join(release, name))]
    if not row or f"pkg:generic/sigsend@{version}" not in named:
        problems.append(f"statement {i} names no architecture's binary by its package note: {named}")
wanted = {(a["id"], h) for a in advisories for h in hashes}
problems += [f"no statement for {a} on the binary {h}" for a, h in sorted(wanted - answered)]
problems += [f"a statement for {a} on {h}, which no binary is" for a, h in sorted(answered - wanted)]
if problems:
    sys.exit("FAILED: %s: %s" % (os.path.basename(vex.get("@id", "the VEX")), "; ".join(problems)))
print(f"ok: the OpenVEX document answers {len(advisories)} advisories for {len(hashes)} binaries: "
      + ", ".join(sorted({st["status"] for st in vex["statements"]})))
print(f"sbom: {passed + 1} passed, 0 failed")
