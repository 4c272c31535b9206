#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The OCI image layout's documents: index, manifests and configs."""
import hashlib, json, os, sys, tempfile, unittest
from unittest import mock
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
__import__("builds")  # puts scripts/ on the path
from documents import oci  # noqa: E402

CREATED = "2026-12-11T00:00:00Z"
# Not the project's own: what is said must come from what was given.
PROJECT = {"name": "sigsend", "version": "1.0.0", "revision": "abc", "homepage": "https://sigsend.test/home",
           "description": 'a description, with "quotes" and a comma'}
IMAGES = [("linux/amd64", b"amd64 tar", b"amd64 gz", "MIT AND GPL-3.0-or-later WITH GCC-exception-3.1"),
          ("linux/arm/v7", b"armhf tar", b"armhf gz", "MIT AND BSD-2-Clause AND GPL-3.0-or-later WITH "
                                                      "GCC-exception-3.1")]


def load(files, descriptor):
    return json.loads(files["blobs/sha256/" + descriptor["digest"].split(":")[1]])


class Layout(unittest.TestCase):
    files = oci.layout(IMAGES, PROJECT, CREATED)

    def test_the_one_reference_is_the_bare_tag_and_names_an_index_with_a_manifest_per_platform(self):
        top = json.loads(self.files["index.json"])["manifests"]
        # oras splits DIR:sigsend:1.0.0 at its last colon; podman and containerd
        # take the image's name from io.containerd.image.name.
        self.assertEqual([d["annotations"] for d in top], [{"io.containerd.image.name": "localhost/sigsend:1.0.0",
                                                            "org.opencontainers.image.ref.name": "1.0.0"}])
        platforms = [m["platform"] for m in load(self.files, top[0])["manifests"]]
        self.assertEqual(platforms, [{"architecture": "amd64", "os": "linux"},
                                     {"architecture": "arm", "os": "linux", "variant": "v7"}])

    def test_every_descriptor_gives_its_blobs_digest_and_size(self):
        for path, data in self.files.items():
            if path.startswith("blobs/"):
                self.assertEqual(path.split("/")[-1], hashlib.sha256(data).hexdigest())
        index = load(self.files, json.loads(self.files["index.json"])["manifests"][0])
        for described in index["manifests"]:
            manifest = load(self.files, described)
            for d in [manifest["config"]] + manifest["layers"]:
                data = self.files["blobs/sha256/" + d["digest"].split(":")[1]]
                self.assertEqual(d["size"], len(data))

    def test_each_image_names_its_own_licences_and_the_index_each_term_once(self):
        index = load(self.files, json.loads(self.files["index.json"])["manifests"][0])
        key = "org.opencontainers.image.licenses"
        self.assertEqual([load(self.files, m)["annotations"][key] for m in index["manifests"]],
                         [IMAGES[0][3], IMAGES[1][3]])
        self.assertEqual(index["annotations"][key],
                         "MIT AND GPL-3.0-or-later WITH GCC-exception-3.1 AND BSD-2-Clause")

    def test_the_index_every_manifest_and_every_config_say_the_project_they_were_given(self):
        index = load(self.files, json.loads(self.files["index.json"])["manifests"][0])
        key = "org.opencontainers.image."
        said = {key + "source": PROJECT["homepage"], key + "url": PROJECT["homepage"],
                key + "description": PROJECT["description"], key + "version": "1.0.0", key + "revision": "abc",
                key + "title": "sigsend", key + "created": CREATED}
        self.assertEqual(index["annotations"], dict(said, **{key + "licenses": "MIT AND GPL-3.0-or-later WITH "
                                                             "GCC-exception-3.1 AND BSD-2-Clause"}))
        for described, image in zip(index["manifests"], IMAGES):
            manifest = load(self.files, described)
            with self.subTest(image[0]):
                self.assertEqual(manifest["annotations"], dict(said, **{key + "licenses": image[3]}))
                self.assertEqual(load(self.files, manifest["config"])["config"]["Labels"], manifest["annotations"])

    def test_builds_that_give_two_homepages_or_another_version_make_no_image(self):
        with tempfile.TemporaryDirectory() as work:
            builds_ = []
            for name, homepage in (("a", PROJECT["homepage"]), ("b", "https://elsewhere.test")):
                os.makedirs(os.path.join(work, name, "notices"))
                with open(os.path.join(work, name, "notices", "identity.json"), "w") as f:
                    json.dump(dict(PROJECT, homepage=homepage), f)
                builds_.append(os.path.join(work, name))
            archive = os.path.join(work, "image.tar")
            with mock.patch.dict(os.environ, SOURCE_DATE_EPOCH="0"):
                with self.assertRaisesRegex(ValueError, "do not give one identity"):
                    oci.main([archive, "1.0.0", "abc", builds_[0] + "=linux/amd64", builds_[1] + "=linux/arm64"])
                with self.assertRaisesRegex(ValueError, "version 1.0.0, revision abc, not 1.0.1, abc"):
                    oci.main([archive, "1.0.1", "abc", builds_[0] + "=linux/amd64"])
            self.assertFalse(os.path.exists(archive))

    def test_a_config_names_the_uncompressed_layers_digest_in_bytes_that_never_change(self):
        self.assertEqual(oci.config(CREATED, oci.platform("linux/amd64"), "sha256:00", {"k": "v"}),
                         b'{"created":"2026-12-11T00:00:00Z","architecture":"amd64","os":"linux",'
                         b'"config":{"Entrypoint":["/sigsend"],"Labels":{"k":"v"}},'
                         b'"rootfs":{"type":"layers","diff_ids":["sha256:00"]}}\n')
        index = load(self.files, json.loads(self.files["index.json"])["manifests"][0])
        config = load(self.files, load(self.files, index["manifests"][0])["config"])
        self.assertEqual(config["rootfs"]["diff_ids"], ["sha256:" + hashlib.sha256(b"amd64 tar").hexdigest()])


if __name__ == "__main__":
    unittest.main()
