#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The answers to the advisories of scripts/advisories.json."""
import json, os, sys, unittest
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import builds  # noqa: E402
from documents import vex  # noqa: E402

ICONV = "libc.a(iconv.lo)"


def statuses(arch, **kwargs):
    said = vex.statements(builds.advisories(), builds.described(arch, **kwargs), builds.facts(arch))
    return {st["vulnerability"]["name"]: st["status"] for st in said}, said


class Answers(unittest.TestCase):
    def test_sigsend_links_no_advisorys_member_so_every_answer_is_not_affected(self):
        for arch in ("amd64", "armhf"):
            with self.subTest(arch):
                self.assertEqual(statuses(arch)[0], {"CVE-2025-26519": "not_affected",
                                                     "CVE-2026-6042": "not_affected",
                                                     "CVE-2026-40200": "not_affected"})

    def test_not_affected_says_why_by_the_count_of_files_the_map_lists(self):
        st = statuses("amd64")[1][0]
        self.assertEqual(st["justification"], "vulnerable_code_not_present")
        self.assertIn("which lists the 43 files it took from musl 1.2.3-1", st["status_notes"])

    def test_a_linked_member_an_advisory_names_is_refused_where_the_changelog_does_not_name_the_fix(self):
        answers, said = statuses("amd64", members=[ICONV])
        self.assertEqual(answers["CVE-2025-26519"], "affected")
        self.assertEqual(vex.refused(said), "CVE-2025-26519 in libc.a(iconv.lo) (%s); CVE-2026-6042 in "
                         "libc.a(iconv.lo) (%s)" % ((said[0]["products"][0]["subcomponents"][0]["@id"],) * 2))
        with self.assertRaisesRegex(ValueError, "CVE-2025-26519 in libc.a"):
            builds.documents("amd64", members=[ICONV])

    def test_a_linked_member_is_fixed_where_the_suppliers_changelog_names_the_advisory(self):
        answers, said = statuses("amd64", members=[ICONV], changelog="musl-fixed.changelog.Debian.gz")
        self.assertEqual(answers, {"CVE-2025-26519": "fixed", "CVE-2026-6042": "fixed",
                                   "CVE-2026-40200": "not_affected"})
        self.assertEqual(vex.refused(said), "")

    def test_a_changelog_naming_one_fix_leaves_the_other_advisory_refused(self):
        works = builds.described("amd64", members=[ICONV], changelog="musl-fixed.changelog.Debian.gz")
        works[0]["named"] = ["CVE-2025-26519"]
        said = vex.statements(builds.advisories(), works, builds.facts("amd64"))
        self.assertEqual(vex.refused(said).split(" (")[0], "CVE-2026-6042 in libc.a(iconv.lo)")

    def test_versions_compare_as_numbers_not_as_text(self):
        advisory = {"introduced": "0", "last_affected": "1.2.5"}
        self.assertTrue(vex.within("1.2.3", advisory))
        self.assertFalse(vex.within("1.2.10", advisory))
        self.assertTrue(vex.within("0.9.13", {"introduced": "0.9.13", "last_affected": "1.2.5"}))

    def test_a_work_outside_an_advisorys_versions_gets_no_statement(self):
        works = builds.described("amd64")
        works[0]["upstream"] = "1.2.6"
        self.assertEqual(vex.statements(builds.advisories(), works, builds.facts("amd64")), [])

    def test_the_release_document_holds_every_builds_statements_under_its_own_id(self):
        docs = [json.loads(builds.documents(a)["sigsend.openvex.json"]) for a in ("amd64", "armhf")]
        merged = vex.merge(docs, "https://example.org/sigsend/vex/1.0.0/abc")
        self.assertEqual(merged["@id"], "https://example.org/sigsend/vex/1.0.0/abc")
        self.assertEqual(merged["statements"], docs[0]["statements"] + docs[1]["statements"])
        self.assertEqual(list(merged), list(docs[0]))


if __name__ == "__main__":
    unittest.main()
