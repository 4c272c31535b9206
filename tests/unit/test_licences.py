#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Debian's licence names against SPDX's, and which stanza of a copyright
file covers a linked member."""
import os, sys, unittest
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import builds  # noqa: E402
from documents import licences  # noqa: E402

MUSL = builds.fixture("musl.copyright")


class Names(unittest.TestCase):
    def test_debian_short_names_and_spdx_identifiers_map_both_ways(self):
        for debian, spdx in [("MIT", "MIT"), ("BSD-2-clause", "BSD-2-Clause"), ("BSD-3-clause", "BSD-3-Clause"),
                             ("GPL-3+ with GCC-exception-3.1 exception", "GPL-3.0-or-later WITH GCC-exception-3.1")]:
            with self.subTest(debian):
                self.assertEqual(licences.spdx(debian), spdx)
                self.assertEqual(licences.debian(spdx), debian)
        self.assertEqual(licences.debian("MIT AND BSD-2-Clause"), "MIT and BSD-2-clause")

    def test_the_public_domain_is_no_licence(self):
        self.assertIsNone(licences.spdx("public-domain"))

    def test_a_name_without_an_spdx_identifier_is_refused_not_passed_through(self):
        with self.assertRaisesRegex(ValueError, "permissive"):
            licences.spdx("permissive")


class Stanzas(unittest.TestCase):
    def covering(self, name, kind="src", arch="x86_64"):
        return {g["license"]: g for g in licences.covering(MUSL, [(name, kind)], arch)}

    def test_arm_memcpy_is_bsd_2_clause_and_mit_since_either_file_could_have_built_it(self):
        found = self.covering("libc.a(memcpy.lo)", arch="arm")
        self.assertEqual(sorted(found), ["BSD-2-clause", "MIT"])
        self.assertEqual(found["BSD-2-clause"]["files"], ["src/string/arm/memcpy.S"])
        self.assertEqual(found["BSD-2-clause"]["shared"], ["libc.a(memcpy.lo)"])

    def test_the_same_member_elsewhere_is_mit_only(self):
        self.assertEqual(list(self.covering("libc.a(memcpy.lo)", arch="x86_64")), ["MIT"])

    def test_the_last_stanza_that_matches_wins_over_files_star(self):
        found = self.covering("libc.a(__set_thread_area.lo)")
        self.assertEqual(found["MIT"]["files"], ["*", "src/thread/x86_64/__set_thread_area.s"])

    def test_start_files_take_the_crt_stanza(self):
        self.assertEqual(list(self.covering("Scrt1.o", kind="crt")), ["public-domain"])

    def test_a_member_no_stanza_covers_stops_rather_than_going_unlicensed(self):
        with self.assertRaisesRegex(ValueError, "no stanza"):
            licences.covering("Files: src/a.c\nLicense: MIT\n", [("libc.a(b.lo)", "src")], "arm")

    def test_glob_star_crosses_folders_and_dots_are_literal(self):
        self.assertTrue(licences.glob("src/*/x.c").match("src/a/b/x.c"))
        self.assertFalse(licences.glob("src/x.c").match("src/xxc"))


if __name__ == "__main__":
    unittest.main()
