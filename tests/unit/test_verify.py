# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""A downloaded release is the stranger's until it checks out: every
refusal of the one verification that rebuild and publish make, and the
comparison with a rebuild, on hand-made release folders."""
import hashlib, os, shutil, subprocess, sys, tempfile, unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import base, compare, verify  # noqa: E402

COMMIT = "7300a81a55afef838dbca4636bf663d36942044f"


def release(folder, version="1.0.0", tarball=b"a tarball\n", **change):
    """A release of VERSION in FOLDER: a binary, a TARBALL, a buildinfo that
    lists both, SHA256SUMS; CHANGE replaces buildinfo fields."""
    files = {f"sigsend-{version}-linux-amd64": b"a binary\n", f"sigsend-{version}.tar.gz": tarball}
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as file:
            file.write(data)
    fields = {"Format": "1.0", "Source": "sigsend", "Version": version, "Git-Commit": COMMIT,
              "Checksums-Sha256": "".join(f"\n {hashlib.sha256(d).hexdigest()} {len(d)} {n}" for n, d in files.items()),
              "Build-Architecture": "amd64", "Build-Date": "Thu, 10 Dec 2026 12:03:39 +0000",
              "Build-Suites": "trixie trixie-security", "Installed-Build-Depends": "\n dpkg (= 1.22.22)",
              "Environment": '\n SOURCE_DATE_EPOCH="1796904219"', **change}
    with open(os.path.join(folder, f"sigsend-{version}.buildinfo"), "w") as file:
        file.write("".join(f"{k}: {v}\n".replace(": \n", ":\n") for k, v in fields.items() if v is not None))
    sums(folder)


def sums(folder, *extra):
    def digest(name):
        with open(os.path.join(folder, name), "rb") as file:
            return hashlib.sha256(file.read()).hexdigest()
    lines = [f"{digest(n)}  {n}\n" for n in sorted(os.listdir(folder)) if n not in ("SHA256SUMS", "SHA256SUMS.asc")]
    with open(os.path.join(folder, "SHA256SUMS"), "w") as file:
        file.write("".join(lines) + "".join(extra))


class Verify(unittest.TestCase):
    def setUp(self):
        self.top = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.top)
        self.dir = os.path.join(self.top, "release")
        os.mkdir(self.dir)
        release(self.dir)

    def check(self, keyring=None):
        scratch = tempfile.mkdtemp(dir=self.top)
        return verify.folder(self.dir, scratch, keyring)

    def refused(self, why, keyring=None):
        with self.assertRaisesRegex(base.Refusal, why):
            self.check(keyring)

    def test_a_release_that_checks_out_gives_its_values_and_its_checked_copies(self):
        checked = self.check()
        self.assertEqual((checked.version, checked.revision, checked.suites, checked.epoch),
                         ("1.0.0", COMMIT, ["trixie", "trixie-security"], 1796904219))
        self.assertEqual(sorted(verify.take(checked, checked.names)), checked.names)
        self.assertEqual(sorted(os.listdir(checked.work)), checked.names)

    def test_each_stranger_s_change_is_refused_saying_why(self):
        cases = {
            "no SHA256SUMS": (lambda: os.remove(f"{self.dir}/SHA256SUMS"), "SHA256SUMS is not there"),
            "a listed name that hides its end": (lambda: sums(self.dir, f"{'0' * 64}  x\u202egpj.exe\n"),
                                                 "invisible character U\\+202E"),
            "SHA256SUMS listing itself": (lambda: sums(self.dir, f"{'0' * 64}  SHA256SUMS\n"), "lists itself"),
            "two buildinfo files": (lambda: (release(self.dir, "0.9.0"), sums(self.dir)), "2 buildinfo files"),
            "a buildinfo changed after SHA256SUMS": (lambda: open(f"{self.dir}/sigsend-1.0.0.buildinfo", "a").write(
                "X: y\n"), "buildinfo is not the file that SHA256SUMS lists"),
            "an apt option as a package": (lambda: (release(self.dir, **{"Installed-Build-Depends": "\n -oX=1 (= 1)"})),
                                           "Installed-Build-Depends has a line that is not"),
            "no suites": (lambda: release(self.dir, **{"Build-Suites": None}), "has no Build-Suites"),
            "a tarball that is not the listed one": (lambda: (open(f"{self.dir}/sigsend-1.0.0.tar.gz", "a").write("x"),
                                                              sums(self.dir)), "more than the 10 bytes it may have"),
        }
        for what, (change, why) in cases.items():
            with self.subTest(what):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                release(self.dir)
                change()
                self.refused(why)

    def test_sha256sums_and_its_signature_are_refused_above_a_mebibyte_before_they_are_copied(self):
        for name in ("SHA256SUMS", "SHA256SUMS.asc", "sigsend-1.0.0.buildinfo"):
            with self.subTest(name):
                with open(os.path.join(self.dir, name), "ab") as file:
                    file.truncate(300 << 20)
                self.refused(f"{name} has 314572800 bytes, more than the 1 MiB", name.endswith(".asc") and "/dev/null")
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                release(self.dir)

    @unittest.skipUnless(shutil.which("gpg") and shutil.which("gpgv"), "skipped: no gpg and gpgv (gnupg, gpgv)")
    def test_a_signature_that_is_missing_or_not_the_keys_is_refused(self):
        home = tempfile.mkdtemp(dir=self.top)
        gpg = ["gpg", "--homedir", home, "--batch", "--quiet", "--passphrase", ""]
        subprocess.run(gpg + ["--quick-gen-key", "test <t@example.org>", "ed25519", "sign", "1d"], check=True)
        keyring = os.path.join(self.top, "keyring.gpg")
        with open(keyring, "wb") as file:
            file.write(subprocess.run(gpg + ["--export"], capture_output=True, check=True).stdout)
        self.refused("SHA256SUMS.asc is not there", keyring)
        subprocess.run(gpg + ["--detach-sign", "--armor", "-o", f"{self.dir}/SHA256SUMS.asc", f"{self.dir}/SHA256SUMS"],
                       check=True)
        subprocess.run(["gpgconf", "--homedir", home, "--kill", "all"])
        self.assertEqual(self.check(keyring).version, "1.0.0")
        sums(self.dir, f"{'0' * 64}  extra\n")
        self.refused("BAD signature", keyring)

    def test_take_refuses_an_unlisted_name_and_a_file_longer_than_its_buildinfo_says(self):
        checked = self.check()
        with open(os.path.join(self.dir, "sigsend-1.0.0.oci.tar"), "w") as file:
            file.write("a stranger's image")
        with self.assertRaisesRegex(base.Refusal, "sigsend-1.0.0.oci.tar is not listed in SHA256SUMS"):
            verify.take(checked, ["sigsend-1.0.0.oci.tar"])
        with open(os.path.join(self.dir, "sigsend-1.0.0-linux-amd64"), "a") as file:
            file.write("more")
        with self.assertRaisesRegex(base.Refusal, "more than the 9 bytes it may have"):
            verify.take(checked, ["sigsend-1.0.0-linux-amd64"])


class Compare(unittest.TestCase):
    def test_names_what_differs_and_shows_strangers_names_inert(self):
        top = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, top)
        one, other = (os.path.join(top, name) for name in ("release", "rebuilt"))
        for folder, data in ((one, b"one"), (other, b"\x1b]0;title\x07\x1b[8m")):
            os.mkdir(folder)
            for name in ("same", "differs", f"only-{os.path.basename(folder)}"):
                with open(os.path.join(folder, name), "wb") as file:
                    file.write(b"same" if name == "same" else data)
        open(os.path.join(one, "same.asc"), "w").close()
        open(os.path.join(one, "\x1b[2Jnote"), "w").close()
        lines, differ = compare.compare(["differs", "only-rebuilt", "only-release", "same"], one, other, one)
        self.assertTrue(differ)
        self.assertEqual([line for line in lines if not line.startswith((" ", "-", "+", "@", "\\", "─", "│"))][:4],
                         ["DIFFERS  differs", "only in the rebuild: only-rebuilt", "only in the release: only-release",
                          "same     same"])
        self.assertIn("signature, not rebuilt: same.asc", lines)
        self.assertIn("not part of the release: $'\\x1b[2Jnote'", lines)
        self.assertFalse(any("\x1b" in line or "\x07" in line for line in lines))


if __name__ == "__main__":
    unittest.main()
