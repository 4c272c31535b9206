# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The release's stages in their order, with the programs that make the
tarball and the root stubbed: a set is moved into place only once the
build's tarball is the one made here and its buildinfo the commit, version
and epoch asked for; any refusal leaves OUTDIR as it was."""
import os, shutil, sys, tempfile, unittest
from unittest import mock

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
sys.path.insert(0, os.path.dirname(__file__))
from documents import base, release  # noqa: E402
from test_verify import COMMIT, release as fake  # noqa: E402


class Release(unittest.TestCase):
    def setUp(self):
        self.top = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.top)
        self.out = os.path.join(self.top, "out")
        self.calls = []
        patches = [mock.patch.dict(os.environ, {"SIGSEND_RELEASE_ENV": str(os.getpid()), "TMPDIR": self.top}),
                   mock.patch.object(release, "commit", lambda: (COMMIT, "1.0.0", "1796904219")),
                   mock.patch.object(release.tarball, "make", self.make),
                   mock.patch.object(release.tarball, "check", lambda *a: None),
                   mock.patch.object(release.shutil, "which", lambda name: "/usr/bin/" + name)]
        for patch in patches:
            patch.start()
            self.addCleanup(patch.stop)

    def make(self, repository, revision, path):
        self.calls.append("tarball")
        with open(path, "wb") as file:
            file.write(b"a tarball\n")

    def run_with(self, build):
        def stage(tarball, revision, out, **options):
            self.calls.append("root")
            build(out)
        with mock.patch.object(release.root, "build", stage):
            return release.main([self.out])

    def test_an_honest_set_is_moved_into_place_after_the_tarball_and_the_root(self):
        self.run_with(fake)
        self.assertEqual(self.calls, ["tarball", "root"])
        self.assertIn("sigsend-1.0.0.buildinfo", os.listdir(self.out))

    def test_a_set_whose_tarball_or_buildinfo_is_not_what_was_asked_for_is_refused(self):
        cases = {"a repacked tarball": (lambda out: fake(out, tarball=b"another\n"), "is not the tarball of " + COMMIT),
                 "another commit": (lambda out: fake(out, **{"Git-Commit": "1" * 40}), "Git-Commit 1111"),
                 "another epoch": (lambda out: fake(out, **{"Environment": '\n SOURCE_DATE_EPOCH="1"'}),
                                   "SOURCE_DATE_EPOCH"),
                 "another version": (lambda out: fake(out, "1.0.1"), "1.0.1")}
        for what, (build, why) in cases.items():
            with self.subTest(what), self.assertRaisesRegex(base.Refusal, why):
                self.run_with(build)
            self.assertFalse(os.path.exists(self.out))
            self.assertEqual([name for name in os.listdir(self.top) if name.startswith(".sigsend")], [])


if __name__ == "__main__":
    unittest.main()
