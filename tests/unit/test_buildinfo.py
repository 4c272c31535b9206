# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The buildinfo is read as one strict deb822 paragraph, and every field a
rebuild uses is checked against its grammar before it is used."""

import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing is left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
from documents import architectures, buildinfo  # noqa: E402

TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "architectures.txt")
ROWS = {row["debian"] for row in architectures.read(TABLE)}
TARBALL = "f" * 64
# As the set stage (scripts/documents/set.py) writes it, less most packages and files.
GOOD = f"""Format: 1.0
Source: sigsend
Binary: sigsend
Architecture: amd64 arm64 source
Version: 1.0.0
Git-Commit: 7300a81a55afef838dbca4636bf663d36942044f
Checksums-Sha256:
 {"e" * 64} 9120 sigsend-1.0.0-linux-amd64
 {TARBALL} 51234 sigsend-1.0.0.tar.gz
Build-Origin: Debian
Build-Architecture: amd64
Build-Date: Fri, 11 Dec 2026 00:03:39 +0000
Build-Path: /build/sigsend-1.0.0
Build-Suites: trixie trixie-updates trixie-security
Installed-Build-Depends:
 bsdutils (= 1:2.41.5-0+deb13u1),
 libstdc++6 (= 14.2.0-19),
 musl-dev:arm64 (= 1.2.5-3.1~deb13u1),
 zlib1g (= 1:1.3.dfsg+really1.3.1-1+deb13u1)
Environment:
 HOME="/root"
 SOURCE_DATE_EPOCH="1796947419"
"""


def check(text):
    return buildinfo.check(buildinfo.parse(text.encode()), ROWS)


class Parse(unittest.TestCase):
    def test_reads_fields_and_their_continuation_lines(self):
        fields = buildinfo.parse(GOOD.encode())
        self.assertEqual(fields["Version"], "1.0.0")
        self.assertEqual(fields["Environment"], '\nHOME="/root"\nSOURCE_DATE_EPOCH="1796947419"')

    def test_refuses_what_is_not_one_strict_paragraph(self):
        cases = {
            "second paragraph": GOOD + "\nSource: other\n",
            "a field twice": GOOD + "version: 2.0\n",
            "starts with a continuation": " x\n" + GOOD,
            "no colon": GOOD + "Bogus\n",
            "a comment": "# hello\n" + GOOD,
            "signed": "-----BEGIN PGP SIGNED MESSAGE-----\n" + GOOD,
            "carriage return": GOOD.replace("\n", "\r\n"),
            "unended": GOOD[:-1],
            "not UTF-8": GOOD + "X-Bad: \udcff\n",
        }
        for what, text in cases.items():
            with self.subTest(what), self.assertRaises(ValueError):
                buildinfo.parse(text.encode("utf-8", "surrogateescape"))


class Versions(unittest.TestCase):
    def test_takes_debians_version_syntax(self):
        for version in ("1.0.0", "1:2.41.5-0+deb13u1", "2.41-12+deb13u5", "1.69~deb13u1",
                        "2.4+20151223.gitfa8646d.1-2+b5", "1:1.3.dfsg+really1.3.1-1+deb13u1",
                        "0", "1.0-1-2", "2:1:0"):
            with self.subTest(version):
                self.assertTrue(buildinfo.is_version(version))

    def test_refuses_what_is_no_debian_version(self):
        for version in ("", "-1", "a1.0", "1.0-", "1:", ":1", "1.0:2", "1.0 2", "1.0-a_b",
                        "1;id", "1)", "1,0", "${IFS}1", "1.0-2/3", "x:1.0"):
            with self.subTest(version):
                self.assertFalse(buildinfo.is_version(version))


class Check(unittest.TestCase):
    def test_gives_the_values_a_rebuild_uses(self):
        checked = check(GOOD)
        self.assertEqual((checked["version"], checked["revision"], checked["architecture"], checked["epoch"]),
                         ("1.0.0", "7300a81a55afef838dbca4636bf663d36942044f", "amd64", 1796947419))
        self.assertEqual(checked["checksums"]["sigsend-1.0.0.tar.gz"], (TARBALL, 51234))
        self.assertEqual(checked["packages"][2], ("musl-dev", "arm64", "1.2.5-3.1~deb13u1"))

    def test_pins_are_the_packages_lines_as_they_were(self):
        pins = buildinfo.pins(check(GOOD)["packages"])
        listed = GOOD.split("Installed-Build-Depends:\n")[1].split("Environment:")[0]
        self.assertEqual(pins, "Installed-Build-Depends:\n" + listed)

    def test_archive_dates_reach_the_pins_and_a_date_that_is_no_stamp_is_refused(self):
        dated = GOOD.replace("Environment:", "Archive-Dates:\n trixie 20261121T091544Z\nEnvironment:")
        self.assertTrue(buildinfo.pins(check(dated)["packages"], check(dated)["archive_dates"])
                        .endswith("Archive-Dates:\n trixie 20261121T091544Z\n"))
        with self.assertRaisesRegex(ValueError, "Archive-Dates"):
            check(dated.replace("20261121T091544Z", "-oAPT::X=1"))

    def test_an_apt_option_as_a_package_line_is_refused(self):
        hostile = GOOD.replace(" bsdutils (= 1:2.41.5-0+deb13u1),",
                               " -oDPkg::Pre-Invoke::=id>/proc/1/root/tmp/x;exit${IFS}1;# (= 1),")
        with self.assertRaisesRegex(ValueError, "Installed-Build-Depends"):
            check(hostile)

    def test_refuses_each_field_that_breaks_its_grammar(self):
        cases = {
            "package with a blank": (" zlib1g (=", " zlib 1g (="),
            "upper-case package": (" zlib1g (=", " Zlib1g (="),
            "one-letter package": (" zlib1g (=", " z (="),
            "package for no row's architecture": ("musl-dev:arm64", "musl-dev:sparc64"),
            "option-like architecture": ("musl-dev:arm64", "musl-dev:-oX"),
            "package version": ("(= 14.2.0-19)", "(= 14.2.0-19 -oX)"),
            "package twice": (" zlib1g (=", " bsdutils (="),
            "missing comma": ("14.2.0-19),", "14.2.0-19)"),
            "comma after the last": ("deb13u1)\nEnvironment", "deb13u1),\nEnvironment"),
            "packages on the first line": ("Installed-Build-Depends:\n", "Installed-Build-Depends: x\n"),
            "version": ("Version: 1.0.0", "Version: -1.0.0"),
            "commit": ("Git-Commit: 7300a81a", "Git-Commit: -7300a81"),
            "short commit": ("7300a81a55afef838dbca4636bf663d36942044f", "7300a81"),
            "build architecture": ("Build-Architecture: amd64", "Build-Architecture: -amd64"),
            "epoch": ('"1796947419"', '"1796947419;id"'),
            "epoch twice": ('HOME="/root"', 'SOURCE_DATE_EPOCH="1"'),
            "no epoch": ('SOURCE_DATE_EPOCH="1796947419"', 'EPOCH="1796947419"'),
            "date of another time": ("00:03:39", "00:03:30"),
            "date in another form": ("Fri, 11 Dec 2026 00:03:39 +0000", "2026-12-10T00:03:39Z"),
            "checksum line": (f" {TARBALL} 51234", f" {TARBALL}  51234"),
            "checksum of a path": ("51234 sigsend-1.0.0.tar.gz", "51234 ../sigsend-1.0.0.tar.gz"),
            "another source": ("Source: sigsend", "Source: other"),
            "no Git-Commit": ("Git-Commit: 7300a81a55afef838dbca4636bf663d36942044f\n", ""),
        }
        for what, (old, new) in cases.items():
            self.assertIn(old, GOOD, what)
            with self.subTest(what), self.assertRaises(ValueError):
                check(GOOD.replace(old, new, 1))


class Architectures(unittest.TestCase):
    def test_rows_are_keyed_by_the_headers_names(self):
        rows = architectures.parse("# the table\n#\n# debian  platform rpm\namd64 amd64 x86_64\n"
                                   "armhf\tarm-v7   armv7hl\n")
        self.assertEqual(rows, [{"debian": "amd64", "platform": "amd64", "rpm": "x86_64"},
                                {"debian": "armhf", "platform": "arm-v7", "rpm": "armv7hl"}])

    def test_a_row_with_a_cell_too_many_or_too_few_is_refused(self):
        for row in ("amd64 amd64\n", "amd64 amd64 x86_64 extra\n"):
            with self.subTest(row), self.assertRaises(ValueError):
                architectures.parse("# debian platform rpm\n" + row)


if __name__ == "__main__":
    unittest.main()
