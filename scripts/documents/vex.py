# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""OpenVEX 0.2.0: each advisory whose versions hold a linked work's is
answered for a binary. A member that an advisory names is vulnerable code
present, which ships only where the supplier's changelog names the advisory
as fixed. Each statement names its binary by every identity a consumer
derives for it: its purl and SHA-256, the purls of the note and of the
packages that carry it, and in the release's document the image's."""
import hashlib, io, json, os, tarfile
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
    sha256 of the binary, and "also", the other purls it is found by."""
    out = []
    for a in advisories:
        for w in works:
            if w["name"] != a["work"] or not within(w["upstream"], a):
                continue
            members = [name for name, _ in w["members"]]
            hit = [m for m in a["members"] if m in members]
            inside = [{"@id": w["purl"], "identifiers": {"purl": w["purl"]}}]
            st = {"vulnerability": {"name": a["id"], "@id": a["reference"], "description": a["summary"]},
                  "products": [{"@id": product["purl"], "identifiers": {"purl": product["purl"]},
                                "hashes": {"sha-256": product["sha256"]}, "subcomponents": inside}]
                  + [{"@id": p, "identifiers": {"purl": p}, "subcomponents": inside} for p in product["also"]]}
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
            "version": 1, "tooling": "sigsend scripts/documents, from the linker map",
            "statements": statements}


def images(archive):
    """{SHA-256 of an image's /sigsend: its purls}, for each platform of the
    index that the OCI image archive names: by the index's digest and the
    platform's architecture, as an image scan names it, and by the
    manifest's digest."""
    found = {}
    with tarfile.open(archive) as layout:
        def blob(digest):
            return layout.extractfile("blobs/sha256/" + digest.split(":")[1]).read()
        index = json.loads(layout.extractfile("index.json").read())["manifests"][0]["digest"]
        for m in json.loads(blob(index))["manifests"]:
            layer = blob(json.loads(blob(m["digest"]))["layers"][0]["digest"])
            with tarfile.open(fileobj=io.BytesIO(layer)) as tar:
                sha = hashlib.sha256(tar.extractfile("sigsend").read()).hexdigest()
            found[sha] = ["pkg:oci/sigsend@%s?arch=%s" % (index.replace(":", "%3A"), m["platform"]["architecture"]),
                          "pkg:oci/sigsend@" + m["digest"].replace(":", "%3A")]
    return found


def merge(documents, identifier, images=None):
    """One document for a release: the first's fields, identifier as its @id,
    and every document's statements, each naming the images (images())
    that hold its binary."""
    def named(st):
        sha, inside = st["products"][0]["hashes"]["sha-256"], st["products"][0]["subcomponents"]
        if images is not None and sha not in images:
            raise ValueError(f"no image of the archive holds the binary {sha}")
        return dict(st, products=st["products"] + [{"@id": p, "identifiers": {"purl": p}, "subcomponents": inside}
                                                   for p in (images or {}).get(sha, [])])
    return dict(documents[0], **{"@id": identifier,
                                 "statements": [named(st) for d in documents for st in d["statements"]]})


def main(args):
    """vex-merge OUT [--image ARCHIVE] DOCUMENT...: one document for a
    release, from every build's, whose statements each name their binary by
    every identity, those in the image archive too. Its @id is named after
    the identity that every build wrote beside its document."""
    out, *paths = args or [""]
    archive, paths = (paths[1], paths[2:]) if paths[:1] == ["--image"] and len(paths) > 2 else (None, paths)
    if not paths or paths[0] == "--image":
        raise ValueError("usage: vex-merge OUT [--image ARCHIVE] DOCUMENT...")
    documents = []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            documents.append(json.load(f))
    one = identity.agreed([identity.read(os.path.dirname(os.path.abspath(p))) for p in paths],
                          "the VEX documents")
    identifier = sbom.namespace(one["homepage"], "vex", one["version"], one["revision"])
    with open(out, "x", encoding="utf-8") as f:
        f.write(json.dumps(merge(documents, identifier, archive and images(archive)),
                           indent=2, ensure_ascii=False) + "\n")
