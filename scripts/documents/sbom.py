# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The SBOMs of a static sigsend, SPDX 2.3 and CycloneDX, from one list of
the works it links: sigsend links each statically and depends on the
system that supplied them, which contains them, as scanners (Trivy) follow
an operating system to its packages and choose their advisory feed by it."""
import uuid
from documents import licences

TOOL = "sigsend-scripts-documents"


def namespace(home, kind, version, revision, platform=None):
    """The name of a document of KIND (spdx, vex) under the project's
    homepage HOME: of one build's, for PLATFORM, or of the release's."""
    return "%s/%s/%s/%s" % (home, kind, version, revision or "unrecorded") + (
        "/linux-" + platform if platform else "")


def licence(works):
    """The executable's licence: MIT and every term of every work's, once."""
    return licences.join_once(["MIT"] + [t for w in works for t in w["spdx"]], " AND ")


def work(w):
    spdx = " AND ".join(w["spdx"])
    return {"SPDXID": "SPDXRef-" + w["name"], "name": w["name"], "versionInfo": w["version"],
            "supplier": w["supplier"], "originator": w["originator"], "downloadLocation": "NOASSERTION",
            **({"homepage": w["homepage"]} if w["homepage"] else {}),
            "sourceInfo": "built package from: %s %s" % (w["source"], w["packaged"]),
            "filesAnalyzed": False, "primaryPackagePurpose": "LIBRARY",
            "licenseConcluded": spdx, "licenseDeclared": spdx, "copyrightText": w["made"],
            "comment": w["comment"],
            "externalRefs": [
                {"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                 "referenceLocator": w["purl"]},
                {"referenceCategory": "SECURITY", "referenceType": "cpe23Type", "referenceLocator": w["cpe"]}]}


def sbom(works, build):
    """The SBOM of a build: works as works.describe() gives them; build
    holds homepage, version, revision ("" where unrecorded), platform,
    purl, sha256, note (the package metadata note's JSON, None where the
    executable has none), holder, created, machine, compiler and os_release
    (ID, VERSION_ID, NAME, PRETTY_NAME)."""
    b, system = build, build["os_release"]
    revision = b["revision"]
    packages = [work(w) for w in works]
    return {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": "sigsend-%s-linux-%s" % (b["version"], b["platform"]),
        "documentNamespace": namespace(b["homepage"], "spdx", b["version"], revision, b["platform"]),
        "creationInfo": {"created": b["created"],
                         "creators": ["Tool: " + TOOL, "Organization: The sigsend developers"],
                         "comment": "Built by %s for %s on %s." % (b["compiler"], b["machine"],
                                                                  system["PRETTY_NAME"])},
        "packages": [{
            "SPDXID": "SPDXRef-sigsend", "name": "sigsend", "versionInfo": b["version"],
            "supplier": "Organization: The sigsend developers", "downloadLocation": "NOASSERTION",
            "sourceInfo": f"built from git commit {revision}" if revision
                          else "built from an unrecorded source revision",
            "filesAnalyzed": False, "primaryPackagePurpose": "APPLICATION",
            "checksums": [{"algorithm": "SHA256", "checksumValue": b["sha256"]}],
            "licenseConcluded": licence(works), "licenseDeclared": "MIT",
            "copyrightText": "Copyright (c) " + b["holder"],
            **({"comment": "The executable carries a package metadata note (ELF section .note.package, "
                           "owner FDO, type 0xcafe1a7e) whose JSON is " + b["note"]} if b["note"] else {}),
            "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                              "referenceLocator": b["purl"]}]}] + packages + [{
            "SPDXID": "SPDXRef-OperatingSystem", "name": system["ID"],
            "versionInfo": system.get("VERSION_ID", ""), "supplier": "Organization: " + system["NAME"],
            "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
            "primaryPackagePurpose": "OPERATING_SYSTEM", "licenseConcluded": "NOASSERTION",
            "licenseDeclared": "NOASSERTION", "copyrightText": "NOASSERTION",
            "comment": "The system whose packages supplied what sigsend links: %s." % system["PRETTY_NAME"]}],
        "relationships": [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                           "relatedSpdxElement": "SPDXRef-sigsend"}]
        + [{"spdxElementId": "SPDXRef-sigsend", "relationshipType": "STATIC_LINK",
            "relatedSpdxElement": p["SPDXID"]} for p in packages]
        + [{"spdxElementId": p["SPDXID"], "relationshipType": "PACKAGE_OF",
            "relatedSpdxElement": "SPDXRef-OperatingSystem"} for p in packages]
        + [{"spdxElementId": "SPDXRef-OperatingSystem", "relationshipType": "CONTAINS",
            "relatedSpdxElement": p["SPDXID"]} for p in packages]
        + [{"spdxElementId": "SPDXRef-sigsend", "relationshipType": "DEPENDS_ON",
            "relatedSpdxElement": "SPDXRef-OperatingSystem"}]}


def cyclonedx(works, build):
    """The same SBOM in CycloneDX 1.5, which the 1.6 schema also accepts and
    which Trivy reads (it refuses 1.6): the system depends on the works it
    supplied, as Trivy's own CycloneDX has an OS's packages, and each names
    its source package in Trivy's properties."""
    b, system = build, build["os_release"]
    os_ref = "%s-%s" % (system["ID"], system.get("VERSION_ID", ""))
    refs = [w["purl"] for w in works]
    return {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "serialNumber": uuid.uuid5(uuid.NAMESPACE_URL, namespace(
            b["homepage"], "cdx", b["version"], b["revision"], b["platform"]) + "#" + b["sha256"]).urn,
        "metadata": {"timestamp": b["created"], "lifecycles": [{"phase": "build"}],
                     "tools": [{"vendor": "The sigsend developers", "name": TOOL}],  # the form Trivy reads
                     "component": {
                         "type": "application", "bom-ref": b["purl"], "name": "sigsend", "version": b["version"],
                         "supplier": {"name": "The sigsend developers"},
                         "hashes": [{"alg": "SHA-256", "content": b["sha256"]}],
                         "licenses": [{"expression": licence(works)}], "copyright": "Copyright (c) " + b["holder"],
                         "purl": b["purl"], "externalReferences": [{"type": "website", "url": b["homepage"]}],
                         **({"properties": [{"name": "sigsend:package-note", "value": b["note"]}]}
                            if b["note"] else {})}},
        "components": [{"type": "operating-system", "bom-ref": os_ref, "name": system["ID"],
                        "version": system.get("VERSION_ID", ""), "supplier": {"name": system["NAME"]},
                        "description": system["PRETTY_NAME"]}] + [{
            "type": "library", "bom-ref": w["purl"], "supplier": {"name": w["supplier"].split(": ", 1)[1]},
            "name": w["name"], "version": w["version"], "description": w["comment"],
            "licenses": [{"expression": " AND ".join(w["spdx"])}], "copyright": w["made"],
            "cpe": w["cpe"], "purl": w["purl"],
            **({"externalReferences": [{"type": "website", "url": w["homepage"]}]} if w["homepage"] else {}),
            "properties": [{"name": "aquasecurity:trivy:SrcName", "value": w["source"]},
                           {"name": "aquasecurity:trivy:SrcVersion", "value": w["packaged"]}]} for w in works],
        "dependencies": [{"ref": b["purl"], "dependsOn": [os_ref] + refs}, {"ref": os_ref, "dependsOn": refs}]
        + [{"ref": ref} for ref in refs]}
