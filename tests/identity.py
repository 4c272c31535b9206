#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Everything in a release folder that names the project names what the
project() call of the release's own source (its tarball's CMakeLists.txt)
says: the image index's annotations, each platform manifest's and each
image configuration's Labels (source, url, description; the licences of
the SBOMs, the version and the buildinfo's commit), each SBOM's namespace,
the VEX's @id, the .debs' Homepage and the .rpms' URL.
Usage: tests/identity.py DIR VERSION. Shares no code with what wrote them."""
import glob, json, os, re, shutil, subprocess, sys, tarfile

folder, version = sys.argv[1:3]
passed = 0


def fail(said):
    sys.exit("FAILED: " + said)


def skip(said):
    """Ends the check as ctest's skip, SAID saying why it cannot run here."""
    print(said)
    sys.exit(0)


def ok(said):
    global passed
    print("ok: " + said)
    passed += 1


def read_json(path):
    with open(path) as f:
        return json.load(f)


with tarfile.open(os.path.join(folder, f"sigsend-{version}.tar.gz")) as source:
    text = source.extractfile(f"sigsend-{version}/CMakeLists.txt").read().decode()
call = re.search(r"^project\(sigsend\b(.*?)\)$", text, re.M | re.S)
if not call:
    fail("the release's CMakeLists.txt has no project(sigsend ...) call")
fields = dict(re.findall(r'\b(DESCRIPTION|HOMEPAGE_URL)\s+"([^"]*)"', call.group(1)))
home, description = fields.get("HOMEPAGE_URL", ""), fields.get("DESCRIPTION", "")
if not home.startswith("https://") or not description:
    fail(f"the release's project() gives the homepage {home!r} and the description {description!r}")
with open(os.path.join(folder, f"sigsend-{version}.buildinfo")) as f:
    commit = re.search(r"^Git-Commit: (\S+)$", f.read(), re.M)
if not commit:
    fail("the buildinfo names no Git-Commit")
sboms = {path: read_json(path) for path in sorted(glob.glob(os.path.join(folder, "*.spdx.json")))}
terms = {t for doc in sboms.values() for t in doc["packages"][0]["licenseConcluded"].split(" AND ")}
key = "org.opencontainers.image."
said = {key + "source": home, key + "url": home, key + "description": description, key + "version": version,
        key + "revision": commit.group(1)}


def names(annotations, what):
    wrong = {k: annotations.get(k) for k, v in said.items() if annotations.get(k) != v}
    if wrong:
        fail(f"{what} says {wrong}, not {said}")


with tarfile.open(os.path.join(folder, f"sigsend-{version}.oci.tar")) as tar:
    def blob(digest):
        return json.loads(tar.extractfile("blobs/sha256/" + digest.split(":", 1)[1]).read())
    index = blob(json.loads(tar.extractfile("index.json").read())["manifests"][0]["digest"])
    names(index.get("annotations", {}), "the image index")
    licences = index["annotations"].get(key + "licenses", "")
    if set(licences.split(" AND ")) != terms:
        fail(f"the image index names the licences '{licences}', the SBOMs {sorted(terms)}")
    ok(f"the image index names the source {home}, the description and the licences {licences}")
    for described in index["manifests"]:
        manifest = blob(described["digest"])
        platform = "/".join(filter(None, (described["platform"]["architecture"],
                                          described["platform"].get("variant"))))
        names(manifest.get("annotations", {}), f"the {platform} manifest")
        labels = blob(manifest["config"]["digest"])["config"].get("Labels") or {}
        if labels != manifest["annotations"]:
            fail(f"the {platform} image's Labels {labels} are not its manifest's annotations")
    ok(f"each of the {len(index['manifests'])} manifests and its image's Labels say the same")

for path, doc in sboms.items():
    if not doc["documentNamespace"].startswith(home + "/"):
        fail(f"{os.path.basename(path)}'s namespace {doc['documentNamespace']} is not under {home}")
vex = read_json(os.path.join(folder, f"sigsend-{version}.openvex.json"))
if not vex["@id"].startswith(home + "/"):
    fail(f"the VEX's @id {vex['@id']} is not under {home}")
ok(f"the {len(sboms)} SBOMs' namespaces and the VEX's @id are under {home}")

for tool, package in (("dpkg-deb", "dpkg"), ("rpm", "rpm")):
    if not shutil.which(tool):
        skip(f"skipped: no {tool} (the {package} package brings it)")
packages = sorted(glob.glob(os.path.join(folder, "*.deb")) + glob.glob(os.path.join(folder, "*.rpm")))
for path in packages:
    command = (["dpkg-deb", "-f", path, "Homepage"] if path.endswith(".deb")
               else ["rpm", "-qp", "--qf", "%{URL}", path])
    given = subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()
    if given != home:
        fail(f"{os.path.basename(path)} gives the homepage {given!r}, not {home}")
ok(f"the {len(packages)} packages give the homepage {home}")
print(f"identity: {passed} passed, 0 failed")
