# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What publish takes of a checked release folder, before anything is
pushed: the image, the VEX and every platform's SBOMs that SHA256SUMS lists,
and nothing that it does not (tests/registry.sh pushes and signs)."""
import hashlib, io, json, os, re, sys, tarfile, tempfile, unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import base, publish, verify  # noqa: E402

FIXTURE = os.path.join(os.path.dirname(__file__), "fixtures", "sigsend-1.0.0.buildinfo")


def tar(files, compression=""):
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w:" + compression) as archive:
        for name, content in files.items():
            member = tarfile.TarInfo(name)
            member.size = len(content)
            archive.addfile(member, io.BytesIO(content))
    return data.getvalue()


def image(*platforms):
    """An OCI image archive of one index over empty images of PLATFORMS."""
    blobs, manifests = {}, []
    def blob(document):
        data = json.dumps(document).encode()
        blobs[f"blobs/sha256/{hashlib.sha256(data).hexdigest()}"] = data
        return {"digest": "sha256:" + hashlib.sha256(data).hexdigest(), "size": len(data)}
    for platform in platforms:
        os_, architecture = platform.split("/")
        config = blob({"os": os_, "architecture": architecture, "rootfs": {"type": "layers", "diff_ids": []}})
        manifests.append({"mediaType": "application/vnd.oci.image.manifest.v1+json", "platform": {
            "os": os_, "architecture": architecture}, **blob({"schemaVersion": 2, "config": config, "layers": []})})
    index = blob({"schemaVersion": 2, "manifests": manifests})
    top = {"schemaVersion": 2, "manifests": [{"mediaType": "application/vnd.oci.image.index.v1+json", **index}]}
    return tar({"oci-layout": b'{"imageLayoutVersion":"1.0.0"}', "index.json": json.dumps(top).encode(), **blobs})


class Plan(unittest.TestCase):
    def setUp(self):
        self.top = tempfile.TemporaryDirectory()
        self.addCleanup(self.top.cleanup)
        self.files = {"sigsend-1.0.0.tar.gz": tar({"sigsend-1.0.0/CMakeLists.txt": b"project(sigsend)\n"}, "gz"),
                      "sigsend-1.0.0.oci.tar": image("linux/amd64", "linux/arm64"),
                      "sigsend-1.0.0.openvex.json": b"{}\n",
                      **{f"sigsend-1.0.0-linux-{a}.{kind}.json": b"{}\n" for a in ("amd64", "arm64")
                         for kind in ("spdx", "cdx")}}

    def plan(self, unlisted=()):
        folder = tempfile.mkdtemp(dir=self.top.name)
        with open(FIXTURE, encoding="utf-8") as file:
            info = re.sub(r"(?ms)^Checksums-Sha256:\n.*?^(?=\S)", "Checksums-Sha256:\n" + "".join(
                f" {hashlib.sha256(d).hexdigest()} {len(d)} {n}\n" for n, d in self.files.items()),
                file.read()).encode()
        for name, data in {**self.files, "sigsend-1.0.0.buildinfo": info}.items():
            with open(os.path.join(folder, name), "wb") as file:
                file.write(data)
        with open(os.path.join(folder, "SHA256SUMS"), "w", encoding="utf-8") as file:
            file.write("".join(f"{hashlib.sha256(d).hexdigest()}  {n}\n" for n, d in {
                **self.files, "sigsend-1.0.0.buildinfo": info}.items() if n not in unlisted))
        return publish.plan(verify.folder(folder, tempfile.mkdtemp(dir=self.top.name)))

    def test_each_platform_gets_its_sboms_and_the_index_the_vex_and_the_provenance(self):
        archive, index, platforms, attestations = self.plan()
        self.assertEqual([p for p, _ in platforms], ["linux/amd64", "linux/arm64"])
        self.assertEqual([(kind, os.path.basename(path), digest) for kind, path, digest in attestations], [
            ("spdxjson", "sigsend-1.0.0-linux-amd64.spdx.json", platforms[0][1]),
            ("spdxjson", "sigsend-1.0.0-linux-arm64.spdx.json", platforms[1][1]),
            ("cyclonedx", "sigsend-1.0.0-linux-amd64.cdx.json", platforms[0][1]),
            ("cyclonedx", "sigsend-1.0.0-linux-arm64.cdx.json", platforms[1][1]),
            ("openvex", "sigsend-1.0.0.openvex.json", index), ("slsaprovenance1", "provenance.json", index)])
        with open(attestations[-1][1], encoding="utf-8") as file:
            self.assertEqual(json.load(file)["buildDefinition"]["externalParameters"]["source"]["gitCommit"],
                             "eab5e083561b344362bcf802a432e3179fa49b6d")
        self.assertTrue(all(path.startswith(os.path.dirname(archive)) for _, path, _ in attestations))

    def test_an_unlisted_image_or_vex_is_refused_even_where_the_folder_has_one(self):
        for name in ("sigsend-1.0.0.oci.tar", "sigsend-1.0.0.openvex.json"):
            with self.subTest(name), self.assertRaisesRegex(base.Refusal, f"^{re.escape(name)} is not listed"):
                self.plan(unlisted=[name])

    def test_every_platform_needs_its_sbom_and_none_is_left_over(self):
        del self.files["sigsend-1.0.0-linux-arm64.cdx.json"]
        with self.assertRaisesRegex(base.Refusal, "no CycloneDX SBOM for sigsend-1.0.0.oci.tar's linux/arm64 image"):
            self.plan()
        self.files["sigsend-1.0.0-linux-arm64.cdx.json"] = self.files["sigsend-1.0.0-linux-riscv64.spdx.json"] = b"{}"
        with self.assertRaisesRegex(base.Refusal, "has 3 SBOMs for the 2 platforms of sigsend-1.0.0.oci.tar"):
            self.plan()
        for name in [n for n in self.files if n.endswith(".spdx.json")]:
            del self.files[name]
        with self.assertRaisesRegex(base.Refusal, "SHA256SUMS lists no SBOM of sigsend 1.0.0"):
            self.plan()


if __name__ == "__main__":
    unittest.main()
