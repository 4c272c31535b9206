#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The project's identity: read from project() as CMake would, and carried
by the builds into the release's documents."""
import json, os, sys, tempfile, unittest
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import builds  # noqa: E402
from documents import identity, vex  # noqa: E402

PROJECT = {"name": "sigsend", "version": "1.0.0", "revision": "abc", "homepage": "https://sigsend.test/home",
           "description": "a description"}


class Project(unittest.TestCase):
    def test_this_trees_project_call_gives_an_https_homepage_and_a_one_line_description(self):
        with open(os.path.join(builds.TOP, "CMakeLists.txt")) as f:
            found = identity.from_cmakelists(f.read())
        self.assertEqual(identity.checked(found), found)
        self.assertEqual(found["name"], "sigsend")

    def test_a_call_over_several_lines_with_comments_parentheses_and_escaped_quotes_is_read_whole(self):
        text = ('# project(other HOMEPAGE_URL "https://wrong.test")\n'
                'set(HOMEPAGE_URL "https://wrong.test")\n'
                'project(sigsend VERSION 1.0.0  # HOMEPAGE_URL "https://wrong.test"\n'
                '        DESCRIPTION "sends one (\\"1\\") signal; # not a comment"\n'
                '        HOMEPAGE_URL https://sigsend.test/home/ LANGUAGES CXX)\n')
        self.assertEqual(identity.from_cmakelists(text),
                         {"name": "sigsend", "version": "1.0.0", "description": 'sends one ("1") signal; # not a comment',
                          "homepage": "https://sigsend.test/home/"})
        self.assertEqual(identity.checked(identity.from_cmakelists(text))["homepage"], "https://sigsend.test/home")

    def test_a_homepage_that_is_no_https_url_is_refused(self):
        for url in ("http://sigsend.test", "https://sigsend.test/a b", "", None):
            with self.subTest(url), self.assertRaisesRegex(ValueError, "is no https URL"):
                identity.checked(dict(PROJECT, homepage=url))


class Release(unittest.TestCase):
    def test_the_releases_vex_is_named_after_the_builds_identity_and_two_identities_are_refused(self):
        with tempfile.TemporaryDirectory() as work:
            paths = []
            for arch, homepage in (("amd64", PROJECT["homepage"]), ("armhf", PROJECT["homepage"]),
                                   ("arm64", "https://elsewhere.test")):
                os.makedirs(os.path.join(work, arch))
                with open(os.path.join(work, arch, identity.NAME), "w") as f:
                    f.write(identity.make(homepage, PROJECT["description"], "1.0.0", "abc"))
                with open(os.path.join(work, arch, "sigsend.openvex.json"), "w") as f:
                    f.write(builds.documents(arch if arch != "arm64" else "amd64")["sigsend.openvex.json"])
                paths.append(os.path.join(work, arch, "sigsend.openvex.json"))
            vex.main([os.path.join(work, "release.json"), *paths[:2]])
            with open(os.path.join(work, "release.json")) as f:
                self.assertEqual(json.load(f)["@id"], "https://sigsend.test/home/vex/1.0.0/abc")
            with self.assertRaisesRegex(ValueError, "do not give one identity"):
                vex.main([os.path.join(work, "refused.json"), *paths])
            self.assertFalse(os.path.exists(os.path.join(work, "refused.json")))


if __name__ == "__main__":
    unittest.main()
