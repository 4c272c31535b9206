# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""OpenVEX 0.2.0: each advisory whose versions hold a linked work's is
answered for a binary. A member that an advisory names is vulnerable code
present, which ships only where the supplier's changelog names the advisory
as fixed."""
import json, os
from documents import identity, sbom


def numbers(version):
    def number(part):
        try:
            return int(part)
        except ValueError:
            return 0
    return [number(part) for part in version.split(".")]


def within(version, advisory):
    return numbers(advisory["introduced"]) <= numbers(version) <= numbers(advisory["last_affected"])


def statements(advisories, works, product):
    """One statement for each advisory and each linked work in its range.
    works: name, version, upstream, purl, members [(name, kind)], changelog
    (its path) and named (the advisories that it names); product: purl and
    sha256 of the binary."""
    out = []
    for a in advisories:
        for w in works:
            if w["name"] != a["work"] or not within(w["upstream"], a):
                continue
            members = [name for name, _ in w["members"]]
            hit = [m for m in a["members"] if m in members]
            st = {"vulnerability": {"name": a["id"], "@id": a["reference"], "description": a["summary"]},
                  "products": [{"@id": product["purl"], "identifiers": {"purl": product["purl"]},
                                "hashes": {"sha-256": product["sha256"]},
                                "subcomponents": [{"@id": w["purl"], "identifiers": {"purl": w["purl"]}}]}]}
            if not hit:
                st.update(status="not_affected", justification="vulnerable_code_not_present",
                          status_notes="%s lies in %s, which builds %s: sigsend links none of them, by its "
                          "linker map, which lists the %d files it took from %s %s." % (
                              a["id"], ", ".join(a["files"]), ", ".join(a["members"]), len(members),
                              w["name"], w["version"]))
            elif a["id"] in w["named"]:
                st.update(status="fixed", status_notes="sigsend links %s from %s %s, whose changelog %s "
                          "names %s as fixed." % (", ".join(hit), w["name"], w["version"], w["changelog"], a["id"]))
            else:
                st.update(status="affected", member=hit)
            out.append(st)
    return out


def refused(statements):
    """What an affected statement names, "" where none is: such a binary must not ship."""
    return "; ".join("%s in %s (%s)" % (st["vulnerability"]["name"], ", ".join(st["member"]),
                                        st["products"][0]["subcomponents"][0]["@id"])
                     for st in statements if st["status"] == "affected")


def vex(statements, build):
    """The document of one build: build holds homepage, version, revision, platform, created."""
    return {"@context": "https://openvex.dev/ns/v0.2.0",
            "@id": sbom.namespace(build["homepage"], "vex", build["version"], build["revision"],
                                  build["platform"]),
            "author": "The sigsend developers", "role": "Document Creator", "timestamp": build["created"],
            "version": 1, "tooling": "sigsend scripts/notices-and-sbom, from the linker map",
            "statements": statements}


def merge(documents, identifier):
    """One document for a release: the first's fields, identifier as its @id,
    and every document's statements."""
    return dict(documents[0], **{"@id": identifier,
                                 "statements": [st for d in documents for st in d["statements"]]})


def main(args):
    """vex-merge OUT DOCUMENT...: one document for a release, from every
    build's, whose statements each name their binary by purl and SHA-256.
    Its @id is named after the identity that every build wrote beside its
    document."""
    if len(args) < 2:
        raise ValueError("usage: vex-merge OUT DOCUMENT...")
    out, *paths = args
    documents = []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            documents.append(json.load(f))
    one = identity.agreed([identity.read(os.path.dirname(os.path.abspath(p))) for p in paths],
                          "the VEX documents")
    identifier = sbom.namespace(one["homepage"], "vex", one["version"], one["revision"])
    with open(out, "x", encoding="utf-8") as f:
        f.write(json.dumps(merge(documents, identifier), indent=2, ensure_ascii=False) + "\n")
