# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The SLSA provenance that scripts/publish attests, made from a real
release's buildinfo, and the platform manifests of an image archive."""

import hashlib
import io
import json
import os
import re
import sys
import tarfile
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import architectures, provenance  # noqa: E402

HERE = os.path.dirname(__file__)
ROWS = {row["debian"] for row in architectures.read(os.path.join(HERE, "..", "..", "cmake", "architectures.txt"))}
FIXTURE = os.path.join(HERE, "fixtures", "sigsend-1.0.0.buildinfo")
# SLSA provenance v1's fields: cosign keeps these and drops any other.
SLSA = {"": {"buildDefinition", "runDetails"},
        "buildDefinition": {"buildType", "externalParameters", "internalParameters", "resolvedDependencies"},
        "resource": {"uri", "digest", "name", "downloadLocation", "mediaType", "content", "annotations"},
        "runDetails": {"builder", "metadata", "byproducts"},
        "builder": {"id", "version", "builderDependencies"}}


def add(archive, name, data):
    member = tarfile.TarInfo(name)
    member.size = len(data)
    archive.addfile(member, io.BytesIO(data))


class Release(unittest.TestCase):
    """A folder with the fixture buildinfo and a tarball that it lists."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def release(self, cmakelists=b"project(sigsend VERSION 1.0.0 LANGUAGES CXX)\n", listed=True):
        tarball = os.path.join(self.folder.name, "sigsend-1.0.0.tar.gz")
        with tarfile.open(tarball, "w:gz") as archive:
            add(archive, "sigsend-1.0.0/CMakeLists.txt", cmakelists)
        with open(tarball, "rb") as file:
            data = file.read()
        with open(FIXTURE, encoding="utf-8") as file:
            text = file.read()
        if listed:
            text = re.sub(r"(?m)^ [0-9a-f]{64} [0-9]+ sigsend-1\.0\.0\.tar\.gz$",
                          f" {hashlib.sha256(data).hexdigest()} {len(data)} sigsend-1.0.0.tar.gz", text)
        info = os.path.join(self.folder.name, "sigsend-1.0.0.buildinfo")
        with open(info, "w", encoding="utf-8") as file:
            file.write(text)
        return info, tarball, hashlib.sha256(data).hexdigest()

    def test_the_predicate_names_the_source_its_commit_tarball_buildinfo_and_builder(self):
        # The build type is the homepage that the tarball's own project() gives.
        info, tarball, sha = self.release(b'project(sigsend VERSION 1.0.0 DESCRIPTION "d"\n'
                                          b'        HOMEPAGE_URL "https://publisher.example/sigsend" LANGUAGES CXX)\n')
        made = provenance.make(info, tarball, ROWS)
        definition = made["buildDefinition"]
        self.assertEqual(definition["buildType"], "https://publisher.example/sigsend/docs/build-type.md")
        self.assertEqual(made["runDetails"]["builder"]["id"],
                         "https://publisher.example/sigsend/docs/build-type.md#the-builder")
        self.assertEqual(definition["externalParameters"], {
            "source": {"name": "sigsend", "version": "1.0.0",
                       "gitCommit": "eab5e083561b344362bcf802a432e3179fa49b6d"},
            "sourceDateEpoch": 1796949065})
        self.assertEqual(definition["internalParameters"]["buildSuites"],
                         ["trixie", "trixie-updates", "trixie-security"])
        with open(info, "rb") as file:
            info_sha = hashlib.sha256(file.read()).hexdigest()
        self.assertEqual(definition["resolvedDependencies"][:2], [
            {"name": "sigsend-1.0.0.tar.gz", "digest": {"sha256": sha}},
            {"name": "sigsend-1.0.0.buildinfo", "digest": {"sha256": info_sha}}])

    def test_every_package_of_the_root_is_one_purl_foreign_ones_with_their_architecture(self):
        info, tarball, _ = self.release()
        purls = [d["uri"] for d in provenance.make(info, tarball, ROWS)["buildDefinition"]["resolvedDependencies"][2:]]
        with open(FIXTURE, encoding="utf-8") as file:
            listed = re.findall(r"(?m)^ (\S+) \(= (\S+)\),?$", file.read())
        self.assertEqual(len(purls), len(listed))
        self.assertEqual(len(purls), 342)
        self.assertIn("pkg:deb/debian/musl-dev@1.2.5-3.1~deb13u1?arch=arm64", purls)
        # Of the build's own architecture or `all`: the buildinfo does not say which.
        self.assertIn("pkg:deb/debian/apt@3.0.4", purls)

    def test_a_plus_in_a_name_or_version_is_percent_encoded_as_purls_require(self):
        self.assertEqual(provenance.purl("g++", None, "4:14.2.0-1"), "pkg:deb/debian/g%2B%2B@4:14.2.0-1")
        self.assertEqual(provenance.purl("libstdc++6", "armhf", "14.2.0-19+b1"),
                         "pkg:deb/debian/libstdc%2B%2B6@14.2.0-19%2Bb1?arch=armhf")

    def test_every_field_is_one_of_slsa_v1s_which_cosign_keeps(self):
        info, tarball, _ = self.release()
        made = provenance.make(info, tarball, ROWS)
        self.assertLessEqual(set(made), SLSA[""])
        self.assertLessEqual(set(made["buildDefinition"]), SLSA["buildDefinition"])
        self.assertLessEqual(set(made["runDetails"]), SLSA["runDetails"])
        self.assertLessEqual(set(made["runDetails"]["builder"]), SLSA["builder"])
        for resource in made["buildDefinition"]["resolvedDependencies"]:
            self.assertLessEqual(set(resource), SLSA["resource"])

    def test_the_homepage_is_the_one_the_releases_own_source_names(self):
        info, tarball, _ = self.release(
            b'project(sigsend VERSION 1.0.0 HOMEPAGE_URL "https://sigsend.example.net/" LANGUAGES CXX)\n')
        made = provenance.make(info, tarball, ROWS)
        self.assertEqual(made["buildDefinition"]["buildType"], "https://sigsend.example.net/docs/build-type.md")

    def test_a_tarball_that_the_buildinfo_does_not_list_is_refused(self):
        info, tarball, _ = self.release(listed=False)
        with self.assertRaisesRegex(ValueError, "does not list sigsend-1.0.0.tar.gz"):
            provenance.make(info, tarball, ROWS)


class Manifests(unittest.TestCase):
    def archive(self, platforms, spoil=False):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        path = os.path.join(folder.name, "image.oci.tar")
        with tarfile.open(path, "w") as archive:
            def blob(document):
                data = json.dumps(document).encode()
                digest = hashlib.sha256(data).hexdigest()
                add(archive, f"blobs/sha256/{digest}", data + (b" " if spoil else b""))
                return "sha256:" + digest
            manifests = [{"digest": blob({"schemaVersion": 2, "for": p}), "platform": dict(
                zip(("os", "architecture", "variant"), p.split("/")))} for p in platforms]
            index = blob({"schemaVersion": 2, "manifests": manifests})
            add(archive, "index.json", json.dumps({"manifests": [
                {"mediaType": "application/vnd.oci.image.index.v1+json", "digest": index}]}).encode())
        return path, index, [m["digest"] for m in manifests]

    def test_the_index_then_each_platform_with_its_digest(self):
        path, index, digests = self.archive(["linux/amd64", "linux/arm/v7"])
        self.assertEqual(provenance.manifests(path),
                         [("index", index), ("linux/amd64", digests[0]), ("linux/arm/v7", digests[1])])

    def test_a_blob_that_is_not_its_digest_or_a_platform_twice_is_refused(self):
        path, _, _ = self.archive(["linux/amd64"], spoil=True)
        with self.assertRaisesRegex(ValueError, "is not what it names"):
            provenance.manifests(path)
        path, _, _ = self.archive(["linux/amd64", "linux/amd64"])
        with self.assertRaisesRegex(ValueError, "names the platform 'linux/amd64'"):
            provenance.manifests(path)


if __name__ == "__main__":
    unittest.main()
