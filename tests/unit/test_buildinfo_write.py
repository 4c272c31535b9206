# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The buildinfo that the release's build writes is one that the strict
reader takes, lists every other file of the set, and is never written with
a field that a failed command left empty; SHA256SUMS lists it all."""

import hashlib
import os
import sys
import tempfile
import unittest
from unittest import mock

sys.dont_write_bytecode = True  # nothing is left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import architectures, buildinfo, sums  # noqa: E402

TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "architectures.txt")
ROWS = {row["debian"] for row in architectures.read(TABLE)}
SUITES = ["trixie", "trixie-updates", "trixie-security"]
# What dpkg and dpkg-vendor answer in the root, less most packages.
ANSWERS = {
    "dpkg-vendor": "Debian\n",
    "dpkg": "amd64\n",
    "dpkg-query": "ii |zlib1g|amd64|1:1.3.dfsg+really1.3.1-1+deb13u1\n"
                  "ii |musl-dev|arm64|1.2.5-3.1~deb13u1\n"
                  "rc |gone|amd64|1.0\n"
                  "ii |bsdutils|amd64|1:2.41.5-0+deb13u1\n"
                  "ii |tzdata|all|2025b-4+deb13u1\n",
}
VALUES = {"version": "1.0.0", "revision": "7300a81a55afef838dbca4636bf663d36942044f",
          "architectures": ["amd64", "arm64"], "epoch": 1796950000, "path": "/build/sigsend-1.0.0",
          "suites": SUITES,
          "environment": ["TZ=UTC", 'HOME=/ro"ot\\', "SOURCE_DATE_EPOCH=1796950000", "LC_ALL=C"]}


def answer(*command):
    said = ANSWERS[command[0]]
    if not said.strip():
        raise ValueError(f"{command[0]} failed")
    return said


class Written(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.addCleanup(self.work.cleanup)
        self.set = os.path.join(self.work.name, "set")
        self.lists = os.path.join(self.work.name, "lists")
        os.mkdir(self.set)
        os.mkdir(self.lists)
        for name, content in (("sigsend-1.0.0-linux-amd64", b"\x7fELF"), ("sigsend-1.0.0.tar.gz", b"gz"),
                              ("sigsend_1.0.0_arm64.deb", b"")):
            with open(os.path.join(self.set, name), "wb") as file:
                file.write(content)
        for suite, date in (("trixie", "Sat, 09 Aug 2025 09:31:59 UTC"),
                            ("trixie-updates", "Thu, 10 Dec 2026 20:15:01 UTC"),
                            ("trixie-security", "Thu, 10 Dec 2026 19:00:00 +0000")):
            self.release(f"deb.debian.org_debian_dists_{suite}_InRelease",
                         f"-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA512\n\nOrigin: Debian\n"
                         f"Codename: {suite}\nDate: {date}\nValid-Until: {date}\n")

    def release(self, name, text):
        with open(os.path.join(self.lists, name), "w", encoding="utf-8") as file:
            file.write(text)

    def write(self, values=VALUES):
        with mock.patch.object(buildinfo, "run", side_effect=answer):
            return buildinfo.write(self.set, values, self.lists)

    def read(self, name):
        with open(os.path.join(self.set, name), "rb") as file:
            return file.read()

    def test_the_strict_reader_takes_what_was_written_with_every_value(self):
        fields = buildinfo.parse(self.read(self.write()))
        checked = buildinfo.check(fields, ROWS)
        self.assertEqual((checked["version"], checked["revision"], checked["architecture"], checked["epoch"]),
                         ("1.0.0", VALUES["revision"], "amd64", 1796950000))
        self.assertEqual(checked["date"], "Fri, 11 Dec 2026 00:46:40 +0000")
        self.assertEqual(checked["packages"], [("bsdutils", None, "1:2.41.5-0+deb13u1"),
                                               ("musl-dev", "arm64", "1.2.5-3.1~deb13u1"),
                                               ("tzdata", None, "2025b-4+deb13u1"),
                                               ("zlib1g", None, "1:1.3.dfsg+really1.3.1-1+deb13u1")])
        self.assertEqual(checked["archive_dates"], [("trixie", "20250809T093159Z"),
                                                    ("trixie-updates", "20261210T201501Z"),
                                                    ("trixie-security", "20261210T190000Z")])
        self.assertEqual(fields["Architecture"], "amd64 arm64 source")
        self.assertEqual(fields["Build-Origin"], "Debian")

    def test_the_environment_is_sorted_and_quoted_as_deb822_holds_it(self):
        fields = buildinfo.parse(self.read(self.write()))
        self.assertEqual(buildinfo.lines(fields, "Environment"),
                         ['HOME="/ro\\"ot\\\\"', 'LC_ALL="C"', 'SOURCE_DATE_EPOCH="1796950000"', 'TZ="UTC"'])

    def test_checksums_cover_every_other_file_and_sha256sums_all_of_them(self):
        info = self.write()
        fields = buildinfo.parse(self.read(info))
        others = sorted(set(os.listdir(self.set)) - {info, "SHA256SUMS"})
        for kind, name in (("Md5", "md5"), ("Sha1", "sha1"), ("Sha256", "sha256")):
            listed = buildinfo.lines(fields, f"Checksums-{kind}")
            self.assertEqual(listed, [f"{hashlib.new(name, self.read(other)).hexdigest()} "
                                      f"{len(self.read(other))} {other}" for other in others])
        listed = sums.parse(self.read("SHA256SUMS"))
        self.assertEqual(list(listed), [*others, info])
        for name, digest in listed.items():
            self.assertEqual(digest, hashlib.sha256(self.read(name)).hexdigest())

    def test_an_empty_build_origin_is_refused_and_nothing_is_written(self):
        with mock.patch.dict(ANSWERS, {"dpkg-vendor": "\n"}):
            with self.assertRaisesRegex(ValueError, "dpkg-vendor"):
                self.write()
        self.assertFalse({"SHA256SUMS", "sigsend-1.0.0.buildinfo"} & set(os.listdir(self.set)))
        values = dict(VALUES, files={}, origin="", native="amd64", dates={}, packages=[])
        with self.assertRaisesRegex(ValueError, "Build-Origin is empty"):
            buildinfo.render(values)

    def test_a_command_that_fails_or_answers_nothing_stops_the_buildinfo(self):
        with self.assertRaisesRegex(ValueError, "false failed"):
            buildinfo.run("false")
        with self.assertRaisesRegex(ValueError, "no answer"):
            buildinfo.run("true")

    def test_a_suite_without_a_release_file_or_a_release_without_a_date_is_refused(self):
        os.unlink(os.path.join(self.lists, "deb.debian.org_debian_dists_trixie-updates_InRelease"))
        with self.assertRaisesRegex(ValueError, "no Release file of trixie-updates"):
            self.write()
        self.release("other_Release", "Codename: trixie-updates\n")
        with self.assertRaisesRegex(ValueError, "has no Date"):
            self.write()

    def test_a_line_break_in_the_environment_is_refused_never_split_into_two_fields(self):
        with self.assertRaisesRegex(ValueError, "line break"):
            self.write(dict(VALUES, environment=["A=one\nB=two"]))

    def test_a_set_that_holds_a_buildinfo_or_sha256sums_already_is_refused(self):
        open(os.path.join(self.set, "SHA256SUMS"), "w").close()
        with self.assertRaisesRegex(ValueError, "holds SHA256SUMS already"):
            self.write()


if __name__ == "__main__":
    unittest.main()
