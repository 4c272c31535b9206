#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The notices, copyright file, SBOM and VEX of the two real builds, and
what the linker map and the owners of its files decide."""
import json, os, sys, unittest
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import builds  # noqa: E402
from builds import works  # noqa: E402


class RealBuilds(unittest.TestCase):
    def test_each_build_writes_byte_for_byte_the_documents_it_always_wrote_and_names_its_package_note(self):
        for arch in ("amd64", "armhf"):
            made = builds.documents(arch)
            for name in ("copyright", "sigsend.spdx.json", "sigsend.cdx.json", "sigsend.openvex.json"):
                with self.subTest(arch=arch, document=name):
                    self.assertEqual(made[name], builds.fixture("expected", arch, name))
            with self.subTest(arch=arch, document="NOTICES"):
                self.assertEqual(made["NOTICES"], builds.fixture("expected", "NOTICES"))

    def test_an_executable_without_a_package_note_has_its_sbom_say_nothing_of_one(self):
        facts = dict(builds.facts("amd64"), note=None)
        sbom_ = builds.build.sbom_and_vex(builds.described("amd64"), facts, builds.advisories())
        self.assertNotIn("comment", json.loads(sbom_["sigsend.spdx.json"])["packages"][0])

    def test_armhf_musl_is_mit_and_bsd_2_clause_for_the_arm_memcpy(self):
        sbom = json.loads(builds.documents("armhf")["sigsend.spdx.json"])
        musl = sbom["packages"][1]
        self.assertEqual(musl["licenseConcluded"], "MIT AND BSD-2-Clause")
        self.assertIn("BSD-2-clause (Files: src/string/arm/memcpy.S): libc.a(memcpy.lo)", musl["comment"])
        self.assertEqual(sbom["packages"][0]["licenseConcluded"],
                         "MIT AND BSD-2-Clause AND GPL-3.0-or-later WITH GCC-exception-3.1")

    def test_amd64_musl_is_mit_only_and_its_copyright_has_no_bsd_paragraph(self):
        made = builds.documents("amd64")
        self.assertEqual(json.loads(made["sigsend.spdx.json"])["packages"][1]["licenseConcluded"], "MIT")
        self.assertNotIn("\nLicense: BSD-2-clause\n", made["copyright"])
        self.assertIn("\nLicense: MIT and GPL-3+ with GCC-exception-3.1 exception\n", made["copyright"])

    def test_armhf_copyright_names_bsd_2_clause_and_carries_its_paragraph_once(self):
        made = builds.documents("armhf")["copyright"]
        self.assertIn("\nLicense: MIT and BSD-2-clause and GPL-3+ with GCC-exception-3.1 exception\n", made)
        self.assertEqual(made.count("\n\nLicense: BSD-2-clause\n"), 1)

    def test_start_files_are_public_domain_which_stands_in_no_expression(self):
        musl = builds.described("amd64")[0]
        self.assertEqual(musl["spdx"], ["MIT"])
        self.assertIn("public-domain (Files: crt/*): Scrt1.o crti.o crtn.o, which stands in no licence "
                      "expression", musl["comment"])

    def test_gcc_runtime_is_named_by_the_compilers_version_and_its_package_by_debians(self):
        sbom = json.loads(builds.documents("amd64")["sigsend.spdx.json"])
        gcc = sbom["packages"][2]
        self.assertEqual((gcc["name"], gcc["versionInfo"]), ("gcc-runtime", "12.2.0"))
        self.assertEqual(gcc["externalRefs"][0]["referenceLocator"], "pkg:deb/debian/libgcc-12-dev@"
                         "12.2.0-14%2Bdeb12u1?arch=amd64&distro=debian-12&upstream=gcc-12")


    def test_packages_name_each_source_package_at_its_debian_version_and_each_work_upstream(self):
        fields = json.loads(builds.documents("armhf")["packaging.json"])
        self.assertEqual(fields["static_built_using"], "musl (= 1.2.3-1), gcc-12-cross (= 12.2.0-14cross1)")
        self.assertEqual(fields["bundled"], "bundled(musl) = 1.2.3, bundled(gcc-runtime) = 12.2.0")
        self.assertEqual(fields["license"], "MIT AND BSD-2-Clause AND GPL-3.0-or-later WITH GCC-exception-3.1")

class LinkerMap(unittest.TestCase):
    def test_only_absolute_archive_members_and_loaded_objects_are_taken(self):
        taken = works.taken("LOAD CMakeFiles/sigsend.dir/src/sigsend.cpp.o\n"
                            "LOAD /usr/lib/x86_64-linux-musl/Scrt1.o\n"
                            "LOAD /usr/lib/x86_64-linux-musl/libc.a\n"
                            "/usr/lib/x86_64-linux-musl/libc.a(exit.lo)\n"
                            "                              /usr/lib/x86_64-linux-musl/libc.a(x.lo) (exit)\n")
        self.assertEqual(taken, [("/usr/lib/x86_64-linux-musl/Scrt1.o", ""),
                                 ("/usr/lib/x86_64-linux-musl/libc.a", "exit.lo")])

    def test_armhf_map_takes_libgcc_division_helpers_that_amd64_does_not(self):
        names = {arch: [n for w in builds.described(arch) for n, _ in w["members"]] for arch in ("amd64", "armhf")}
        self.assertIn("libgcc.a(_udivsi3.o)", names["armhf"])
        self.assertFalse([n for n in names["amd64"] if n.startswith("libgcc.a(")])


class Owners(unittest.TestCase):
    system = {"ID": "debian", "VERSION_ID": "13", "NAME": "Debian GNU/Linux"}

    def test_a_musl_built_from_source_is_supplied_by_the_developers_as_a_source_package(self):
        work = works.supplied({"source": "musl", "version": "1.2.5-3", "dir": "/usr/lib/riscv64-linux-musl"},
                              self.system)
        self.assertEqual(work["purl"], "pkg:deb/debian/musl@1.2.5-3?arch=source&distro=debian-13")
        self.assertEqual(work["supplier"], "Organization: The sigsend developers")
        self.assertEqual(work["copyright"], "/usr/lib/riscv64-linux-musl/copyright")

    def test_a_work_whose_licence_is_not_known_stops_the_build(self):
        work = dict(works.supplied({"package": "libfoo-dev:amd64", "source": "foo", "version": "1",
                                    "architecture": "amd64", "homepage": ""}, self.system),
                    dir="/usr/lib", members=[("libfoo.a(foo.o)", "src")])
        with self.assertRaisesRegex(ValueError, "code of foo, whose licence"):
            works.describe(work, "", "12.2.0", "")


if __name__ == "__main__":
    unittest.main()
