#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What scanners follow in the documents of the two real builds: the links
from the system to its packages, the CycloneDX SBOM beside the SPDX one, and
the identities by which the VEX names each binary."""
import gzip, hashlib, io, json, os, sys, tarfile, tempfile, unittest
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import builds  # noqa: E402
from documents import build, oci, vex  # noqa: E402


def made(arch, name):
    return json.loads(builds.documents(arch)[name])


def archive(work, binaries):
    """An OCI image archive as oci.py lays it out, one image for each
    (platform, bytes of /sigsend)."""
    images = []
    for where, data in binaries:
        layer = io.BytesIO()
        with tarfile.open(fileobj=layer, mode="w") as tar:
            member = tarfile.TarInfo("sigsend")
            member.size = len(data)
            tar.addfile(member, io.BytesIO(data))
        images.append((where, layer.getvalue(), gzip.compress(layer.getvalue()), "MIT"))
    project = dict(json.loads(builds.fixture("identity.json")), version="1.0.0", revision="")
    files = oci.layout(images, project, "2026-12-11T00:00:00Z")
    path = os.path.join(work, "image.tar")
    with tarfile.open(path, "w") as tar:
        for name, data in files.items():
            member = tarfile.TarInfo(name)
            member.size = len(data)
            tar.addfile(member, io.BytesIO(data))
    return path, files


class Sboms(unittest.TestCase):
    def test_trivy_reaches_each_work_through_the_system_that_contains_it_and_its_source_package(self):
        for arch, gcc in (("amd64", "gcc-12 12.2.0-14+deb12u1"), ("armhf", "gcc-12-cross 12.2.0-14cross1")):
            doc = made(arch, "sigsend.spdx.json")
            links = {(r["spdxElementId"], r["relationshipType"], r["relatedSpdxElement"])
                     for r in doc["relationships"]}
            with self.subTest(arch):
                self.assertLessEqual({("SPDXRef-OperatingSystem", "CONTAINS", "SPDXRef-musl"),
                                      ("SPDXRef-OperatingSystem", "CONTAINS", "SPDXRef-gcc-runtime"),
                                      ("SPDXRef-sigsend", "DEPENDS_ON", "SPDXRef-OperatingSystem"),
                                      ("SPDXRef-sigsend", "STATIC_LINK", "SPDXRef-musl")}, links)
                self.assertEqual([p.get("sourceInfo") for p in doc["packages"][1:3]],
                                 ["built package from: musl 1.2.3-1", "built package from: " + gcc])

    def test_the_cyclonedx_sbom_says_what_the_spdx_one_says_of_each_work_and_of_the_binary(self):
        for arch in ("amd64", "armhf"):
            spdx, cdx = made(arch, "sigsend.spdx.json"), made(arch, "sigsend.cdx.json")
            top = cdx["metadata"]["component"]
            refs = {p["SPDXID"]: [r["referenceLocator"] for r in p["externalRefs"]] for p in spdx["packages"][1:3]}
            with self.subTest(arch):
                self.assertEqual(top["hashes"], [{"alg": "SHA-256",
                                                  "content": spdx["packages"][0]["checksums"][0]["checksumValue"]}])
                self.assertEqual(top["licenses"], [{"expression": spdx["packages"][0]["licenseConcluded"]}])
                system, *works = cdx["components"]
                self.assertEqual((system["type"], system["name"], system["version"]),
                                 ("operating-system", "debian", "12"))
                self.assertEqual([[w["purl"], w["cpe"]] for w in works], list(refs.values()))
                self.assertEqual([w["licenses"][0]["expression"] for w in works],
                                 [p["licenseConcluded"] for p in spdx["packages"][1:3]])
                depends = {d["ref"]: d.get("dependsOn") for d in cdx["dependencies"]}
                self.assertEqual(depends[system["bom-ref"]], [w["bom-ref"] for w in works])
                self.assertEqual(depends[top["bom-ref"]], [system["bom-ref"]] + [w["bom-ref"] for w in works])

    def test_each_binary_has_a_serial_number_of_its_own_that_its_bytes_decide(self):
        numbers = {made(arch, "sigsend.cdx.json")["serialNumber"] for arch in ("amd64", "armhf", "amd64")}
        self.assertEqual(len(numbers), 2)


class Identities(unittest.TestCase):
    row = {"debian": "armhf", "rpm": "armv7hl"}
    system = {"ID": "debian", "VERSION_ID": "13"}

    def test_the_note_yields_the_purl_syft_makes_of_it_and_the_packages_name_their_own(self):
        note = '{"type":"generic","name":"sigsend","version":"1.0.0","architecture":"armhf","license":"MIT"}'
        self.assertEqual(build.identities("1.0.0", self.row, self.system, note),
                         ["pkg:deb/debian/sigsend@1.0.0?arch=armhf", "pkg:rpm/fedora/sigsend@1.0.0-1?arch=armv7hl",
                          "pkg:generic/sigsend@1.0.0"])

    def test_a_note_that_names_a_distribution_gives_syfts_distro_qualifier_and_none_gives_no_purl(self):
        old = '{"name":"sigsend","version":"1.0.0","architecture":"amd64","os":"debian","osVersion":"12"}'
        self.assertEqual(build.identities("1.0.0", self.row, self.system, old)[2],
                         "pkg:generic/sigsend@1.0.0?distro=debian-12")
        self.assertEqual(len(build.identities("1.0.0", self.row, self.system, None)), 2)

    def test_every_statement_names_the_binary_by_hash_and_every_purl_with_the_work_inside(self):
        for st in made("armhf", "sigsend.openvex.json")["statements"]:
            self.assertEqual([p["@id"] for p in st["products"]], [
                "pkg:generic/sigsend@1.0.0?arch=armhf", "pkg:deb/debian/sigsend@1.0.0?arch=armhf",
                "pkg:rpm/fedora/sigsend@1.0.0-1?arch=armv7hl", "pkg:generic/sigsend@1.0.0?distro=debian-12"])
            self.assertEqual(st["products"][0]["hashes"], {"sha-256": builds.facts("armhf")["sha256"]})
            self.assertEqual(len({json.dumps(p["subcomponents"]) for p in st["products"]}), 1)

    def test_the_release_document_names_each_binary_by_its_images_index_and_manifest_digests(self):
        docs = [made(a, "sigsend.openvex.json") for a in ("amd64", "armhf")]
        binaries = [("linux/arm/v7", b"armhf binary"), ("linux/amd64", b"amd64 binary")]
        for doc, (_, data) in zip(docs, reversed(binaries)):
            for st in doc["statements"]:
                st["products"][0]["hashes"]["sha-256"] = hashlib.sha256(data).hexdigest()
        with tempfile.TemporaryDirectory() as work:
            path, files = archive(work, binaries)
            merged = vex.merge(docs, "https://example.org/sigsend/vex/1.0.0/abc", vex.images(path))
            with self.assertRaisesRegex(ValueError, "no image of the archive holds the binary"):
                vex.merge(docs, "x", vex.images(archive(work, binaries[:1])[0]))
        index = json.loads(files["index.json"])["manifests"][0]["digest"]
        manifests = json.loads(files["blobs/sha256/" + index[7:]])["manifests"]
        first = merged["statements"][0]["products"]
        self.assertEqual([p["@id"] for p in first[-2:]],
                         ["pkg:oci/sigsend@sha256%3A" + index[7:] + "?arch=amd64",
                          "pkg:oci/sigsend@sha256%3A" + manifests[1]["digest"][7:]])
        self.assertEqual(merged["statements"][-1]["products"][-2]["@id"].split("?")[1], "arch=arm")
        self.assertEqual(first[-1]["subcomponents"], first[0]["subcomponents"])


if __name__ == "__main__":
    unittest.main()
