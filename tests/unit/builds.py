# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The two real builds of fixtures/, amd64 and armhf (static, musl 1.2.3-1,
GCC 12 on Debian 12), as the documents package sees them: their linker
maps, what dpkg said of each file, musl's and GCC's copyright files, and
musl's changelog. identity.json is what CMake handed their builds of the
project. expected/ holds what the documents package (scripts/documents) wrote for them while
it was shell and jq (the GPL's text cut to one line), and since then the
SBOM's word on the package note that each binary carries, the links that
scanners follow, the CycloneDX SBOM and the VEX's identities of each binary.
`python3 tests/unit/builds.py --regenerate` writes expected/ anew from this
tree's documents package: read the diff before committing it."""
import json, os, sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(TOP, "scripts"))
from documents import architectures, build, elf, notices, works  # noqa: E402

FIXTURES = os.path.join(HERE, "fixtures")
GPL = "The text of the GNU General Public License version 3."


def fixture(*name, mode="r"):
    with open(os.path.join(FIXTURES, *name), mode) as f:
        return f.read()


def license_text():
    with open(os.path.join(TOP, "LICENSE")) as f:
        return f.read()


def described(arch, members=(), copyrights=None, changelog="musl.changelog.Debian.gz"):
    """The works of ARCH's build, each with the advisories that CHANGELOG
    names; MEMBERS are archive members added to musl's, COPYRIGHTS
    replaces copyright files by source."""
    facts = json.loads(fixture(f"{arch}.build.json"))
    system = json.loads(fixture("os-release.json"))
    files = [(os.path.normpath(path), member) for path, member in works.taken(fixture(f"{arch}.map"))]
    found = works.works(files, lambda path: works.supplied(facts["owners"][path], system))
    for work in found:
        if work["source"] == "musl":
            work["members"] += [(name, "src") for name in members]
    texts = dict({"musl": fixture("musl.copyright")}, **(copyrights or {}))
    out = [works.describe(w, texts.get(w["source"], fixture("gcc-12.copyright")), facts["gcc"], GPL)
           for w in found]
    named = works.changelog_names(os.path.join(FIXTURES, changelog))
    for work in out:
        work["named"] = named if work["name"] == "musl" else []
    return out


def facts(arch):
    """The build's own facts: what the project, the executable, its
    compiler and the machine said."""
    facts = json.loads(fixture(f"{arch}.build.json"))
    rows = architectures.read(os.path.join(TOP, "cmake", "architectures.txt"))
    row = elf.row(bytes.fromhex(facts["elf"]), rows)
    return {"homepage": json.loads(fixture("identity.json"))["homepage"], "version": "1.0.0", "revision": "",
            "platform": row["platform"], "purl": f"pkg:generic/sigsend@1.0.0?arch={row['debian']}",
            "also": build.identities("1.0.0", row, json.loads(fixture("os-release.json")), facts["note"]),
            "sha256": facts["sha256"], "note": facts["note"],
            "holder": notices.holder(license_text()), "created": facts["created"],
            "machine": facts["machine"], "os_release": json.loads(fixture("os-release.json")),
            "compiler": facts["compiler"]}


def advisories():
    with open(os.path.join(TOP, "scripts", "advisories.json")) as f:
        return json.load(f)["advisories"]


def documents(arch, **kwargs):
    """All four documents of ARCH's build, by file name."""
    works_ = described(arch, **kwargs)
    return dict(build.texts(license_text(), works_), **build.sbom_and_vex(works_, facts(arch), advisories()))


if __name__ == "__main__" and sys.argv[1:] == ["--regenerate"]:
    for arch in ("amd64", "armhf"):
        for name, text in documents(arch).items():
            folder = os.path.join(FIXTURES, "expected", *([] if name == "NOTICES" else [arch]))
            if name != "packaging.json":
                with open(os.path.join(folder, name), "w") as f:
                    f.write(text)
