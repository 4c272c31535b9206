# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The SLSA provenance v1 that publish attests on a release's image index, made from its buildinfo, and
the image archive's platform manifests, which the other attestations are attached to."""

import hashlib
import json
import os
import re
import tarfile
import urllib.parse

from documents import buildinfo, identity, sums

# Whose project() names the homepage where a release's source names none.
TREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")


def homepage(tarball):
    """The homepage that project() in TARBALL's (sigsend-VERSION.tar.gz) top CMakeLists.txt names, or,
    for a source from before it named one, this tree's."""
    top = os.path.basename(tarball)[: -len(".tar.gz")]
    with tarfile.open(tarball, "r:gz") as archive:
        try:
            member = archive.extractfile(f"{top}/CMakeLists.txt")
        except KeyError:
            raise ValueError(f"{os.path.basename(tarball)} holds no {top}/CMakeLists.txt") from None
        found = identity.from_cmakelists(member.read().decode("utf-8")).get("homepage")
    if found is None:
        with open(TREE, encoding="utf-8") as file:
            found = identity.from_cmakelists(file.read()).get("homepage", "")
    return identity.homepage(found)


def purl(name, arch, version):
    """A Debian package's purl, NAME and VERSION percent-encoded (g++ is g%2B%2B), ARCH where one is named."""
    quoted = f"pkg:deb/debian/{urllib.parse.quote(name, safe='.-')}@{urllib.parse.quote(version, safe='.-~:')}"
    return quoted + (f"?arch={arch}" if arch else "")


def predicate(fields, checked, home, tarball, tarball_sha256, info, info_sha256):
    """The predicate of the build that the buildinfo FIELDS records (CHECKED: buildinfo.check's values); its
    buildType, docs/build-type.md under HOME, says what each field means. A package without ':ARCH' is of
    the build's architecture or `all`, which the buildinfo does not tell apart: its purl names neither."""
    internal = {"buildArchitecture": checked["architecture"]}
    for field, key in (("Build-Origin", "buildOrigin"), ("Build-Path", "buildPath")):
        if field in fields:
            internal[key] = buildinfo.single(fields, field)
    internal["buildSuites"] = checked["suites"]
    source = {"name": buildinfo.single(fields, "Source"), "version": checked["version"],
              "gitCommit": checked["revision"]}
    return {"buildDefinition": {
        "buildType": f"{home}/docs/build-type.md",
        "externalParameters": {"source": source, "sourceDateEpoch": checked["epoch"]},
        "internalParameters": internal,
        "resolvedDependencies": [{"name": tarball, "digest": {"sha256": tarball_sha256}},
                                 {"name": info, "digest": {"sha256": info_sha256}}]
                                + [{"uri": purl(*entry)} for entry in checked["packages"]]},
        "runDetails": {"builder": {"id": f"{home}/docs/build-type.md#the-builder"}}}


def make(info, tarball, architectures):
    """The predicate for the buildinfo INFO and TARBALL (copies checked against SHA256SUMS); ARCHITECTURES
    is the Debian names of cmake/architectures.txt."""
    with open(info, "rb") as file:
        fields = buildinfo.parse(file.read())
    checked = buildinfo.check(fields, architectures)
    name = os.path.basename(tarball)
    if name != f"sigsend-{checked['version']}.tar.gz":
        raise ValueError(f"{name} is not the source of sigsend {checked['version']}")
    (_, _, tarball_sha256), _ = sums.digests(tarball)
    if checked["checksums"].get(name, (None,))[0] != tarball_sha256:
        raise ValueError(f"{os.path.basename(info)} does not list {name} with its SHA-256")
    (_, _, info_sha256), _ = sums.digests(info)
    return predicate(fields, checked, homepage(tarball), name, tarball_sha256, os.path.basename(info), info_sha256)


def manifests(archive):
    """The image index that ARCHIVE (an OCI image archive of one reference) names, and its platform
    manifests: [("index", DIGEST), ("linux/arm/v7", DIGEST), ...]."""
    called = os.path.basename(archive)
    with tarfile.open(archive, "r:") as layout:
        def read(name):
            member = layout.extractfile(name)
            if member is None:
                raise ValueError(f"{called} holds no file {name}")
            return member.read()

        def blob(digest):
            if not re.fullmatch(r"sha256:[0-9a-f]{64}", digest):
                raise ValueError(f"{called} names the digest {digest!r}")
            data = read(f"blobs/sha256/{digest[7:]}")
            if "sha256:" + hashlib.sha256(data).hexdigest() != digest:
                raise ValueError(f"{called}'s blob {digest} is not what it names")
            return json.loads(data)

        top = json.loads(read("index.json"))["manifests"]
        if len(top) != 1 or top[0].get("mediaType") != "application/vnd.oci.image.index.v1+json":
            raise ValueError(f"{called} does not name one image index")
        found = [("index", top[0]["digest"])]
        for manifest in blob(top[0]["digest"])["manifests"]:
            platform = manifest["platform"]
            name = "/".join(filter(None, (platform["os"], platform["architecture"], platform.get("variant"))))
            if not re.fullmatch(r"[a-z0-9]+(/[a-z0-9]+){1,2}", name) or name in dict(found):
                raise ValueError(f"{called} names the platform {name!r}")
            blob(manifest["digest"])
            found.append((name, manifest["digest"]))
    return found
