# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""SHA256SUMS is read strictly, and a listed file is taken only as a
regular file, never through a link."""

import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # nothing is left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import sums  # noqa: E402

A, B = "a" * 64, "0123456789abcdef" * 4


class Parse(unittest.TestCase):
    def test_lists_names_with_their_sums_in_order(self):
        listed = sums.parse(f"{B}  sigsend-1.0.0.tar.gz\n{A}  SHA256SUMS.txt\n".encode())
        self.assertEqual(list(listed.items()), [("sigsend-1.0.0.tar.gz", B), ("SHA256SUMS.txt", A)])

    def test_a_name_with_a_leading_blank_is_kept_as_it_is_never_trimmed(self):
        listed = sums.parse(f"{A}   sigsend_1.0.0_amd64.deb\n{B}  sigsend_1.0.0_amd64.deb\n".encode())
        self.assertEqual(list(listed), [" sigsend_1.0.0_amd64.deb", "sigsend_1.0.0_amd64.deb"])

    def test_refuses_what_sha256sum_c_would_take_as_another_file(self):
        cases = {
            "escaped": f"\\{A}  a\\nb\n",
            "binary mode": f"{A} *name\n",
            "one blank": f"{A} name\n",
            "upper-case hex": f"{A.upper()}  name\n",
            "short sum": f"{A[:63]}  name\n",
            "path": f"{A}  ../name\n",
            "folder": f"{A}  sub/name\n",
            "option": f"{A}  -name\n",
            "dot": f"{A}  .\n",
            "dot dot": f"{A}  ..\n",
            "backslash": f"{A}  na\\me\n",
            "carriage return": f"{A}  name\r\n",
            "tab": f"{A}  na\tme\n",
            "C1 control": f"{A}  na\u009bme\n",
            "right-to-left override": f"{A}  sigsend-1.0.0-linux-amd64\u202e.deb\n",
            "line separator": f"{A}  sigsend\u2028same     sigsend\n",
            "paragraph separator": f"{A}  sigsend\u2029\n",
            "zero-width space": f"{A}  sig\u200bsend\n",
            "duplicate": f"{A}  name\n{B}  name\n",
            "blank line": f"{A}  name\n\n",
            "unended": f"{A}  name",
            "empty": "",
        }
        for what, text in cases.items():
            with self.subTest(what), self.assertRaises(ValueError):
                sums.parse(text.encode())

    def test_refuses_a_name_that_is_not_utf8(self):
        with self.assertRaises(ValueError):
            sums.parse(A.encode() + b"  na\xffme\n")


class Copy(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.addCleanup(self.scratch.cleanup)
        self.source = os.path.join(self.scratch.name, "release")
        self.target = os.path.join(self.scratch.name, "work")
        os.mkdir(self.source)
        os.mkdir(self.target)
        with open(os.path.join(self.source, "file"), "wb") as file:
            file.write(b"abc")

    def test_copies_a_file_and_gives_the_copys_sum_and_size(self):
        digest, size = sums.copy(self.source, "file", self.target)
        self.assertEqual((digest, size),
                         ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", 3))
        with open(os.path.join(self.target, "file"), "rb") as copied:
            self.assertEqual(copied.read(), b"abc")

    def test_refuses_a_link_a_fifo_a_folder_and_a_missing_file_by_name(self):
        os.symlink("file", os.path.join(self.source, "link"))
        os.mkfifo(os.path.join(self.source, "fifo"))
        os.mkdir(os.path.join(self.source, "folder"))
        for name, why in (("link", "symbolic link"), ("fifo", "fifo"), ("folder", "folder"),
                          ("missing", "not there")):
            with self.subTest(name), self.assertRaisesRegex(ValueError, f"/{name} .*{why}"):
                sums.copy(self.source, name, self.target)
        self.assertEqual(os.listdir(self.target), [])

    def test_a_file_beyond_its_bound_is_refused_before_a_byte_is_copied(self):
        with open(os.path.join(self.source, "big"), "wb") as big:
            big.truncate(300 << 20)  # sparse: nothing on disk, 300 MB to read
        with self.assertRaisesRegex(ValueError, "has 314572800 bytes, more than the 1 MiB"):
            sums.copy(self.source, "big", self.target, 1 << 20)
        self.assertEqual(os.listdir(self.target), [])

    def test_never_writes_over_a_file_in_the_work_folder(self):
        sums.copy(self.source, "file", self.target)
        with self.assertRaises(FileExistsError):
            sums.copy(self.source, "file", self.target)


if __name__ == "__main__":
    unittest.main()
