# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""A tarball vouches for a commit only if what tar would unpack from it is
the commit's tree: regression cases of tarballs that a hostile release
maker crafted, each refused rather than taken or crashed on."""
import gzip, io, os, shutil, subprocess, sys, tarfile, tempfile, unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import base, tarball  # noqa: E402


@unittest.skipUnless(shutil.which("git"), "skipped: no git (the git package)")
class Check(unittest.TestCase):
    def setUp(self):
        self.top = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.top)
        self.repo = os.path.join(self.top, "repo")
        os.makedirs(os.path.join(self.repo, "src"))
        for name, text in (("CMakeLists.txt", "project(sigsend)\n"), ("src/sigsend.cpp", "int main() {}\n")):
            with open(os.path.join(self.repo, name), "w") as file:
                file.write(text)
        git = ["git", "-C", self.repo, "-c", "user.name=t", "-c", "user.email=t@example.org"]
        subprocess.run(git[:3] + ["init", "-q"], check=True)
        subprocess.run(git + ["add", "."], check=True)
        subprocess.run(git + ["commit", "-qm", "tree"], check=True)
        self.revision = subprocess.run(git[:3] + ["rev-parse", "HEAD"], capture_output=True, text=True).stdout.strip()
        self.path = os.path.join(self.top, "sigsend-1.0.0.tar.gz")
        tarball.make(self.repo, self.revision, self.path)

    def write(self, extra=(), data=None):
        """The tarball again, with EXTRA members after its own, or DATA as its bytes."""
        if data is None:
            with tarfile.open(self.path) as old:
                members = [(m, old.extractfile(m).read() if m.isfile() else None) for m in old]
            out = io.BytesIO()
            with tarfile.open(fileobj=out, mode="w") as new:
                for member, content in [*members, *extra]:
                    new.addfile(member, io.BytesIO(content) if content is not None else None)
            data = gzip.compress(out.getvalue())
        with open(self.path, "wb") as file:
            file.write(data)

    def test_the_commit_s_own_tarball_passes(self):
        tarball.check(self.path, self.repo, self.revision)

    def test_a_folder_entry_that_unpacks_over_a_listed_file_is_refused(self):
        folder = tarfile.TarInfo("sigsend-1.0.0/CMakeLists.txt")
        folder.type = tarfile.DIRTYPE
        self.write([(folder, None)])
        with self.assertRaisesRegex(base.Refusal, "holds CMakeLists.txt twice"):
            tarball.check(self.path, self.repo, self.revision)

    def test_a_member_that_unpacks_to_far_more_than_the_tarball_is_refused_unread(self):
        bomb = tarfile.TarInfo("sigsend-1.0.0/README.md")
        bomb.size = 1 << 30
        self.write(data=gzip.compress(tarfile.TarInfo("sigsend-1.0.0/").tobuf() + bomb.tobuf(), 1))
        with self.assertRaisesRegex(base.Refusal, "too much|not a gzipped tar"):
            tarball.check(self.path, self.repo, self.revision)

    def test_a_truncated_or_garbled_tarball_is_refused_not_crashed_on(self):
        with open(self.path, "rb") as file:
            whole = file.read()
        for data in (whole[:100], b"garbage"):
            self.write(data=data)
            with self.subTest(len(data)), self.assertRaisesRegex(base.Refusal, "is not a gzipped tar"):
                tarball.check(self.path, self.repo, self.revision)


if __name__ == "__main__":
    unittest.main()
