# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What one build writes beside its executable, into OUTDIR: copyright
(Debian's machine-readable copyright file) and NOTICES (sigsend's licence,
then each linked work's, as the packages that brought them ship them),
identity.json (the project's homepage and description, as CMake has them
from project(), and the build's version and revision); and
with a linker map, sigsend.spdx.json (SPDX 2.3), sigsend.cdx.json
(CycloneDX) and sigsend.openvex.json
(OpenVEX 0.2.0, answering scripts/advisories.json), and packaging.json,
what the packages say of it (cmake/package-fields.cmake). What was linked comes
from the map, who made it from the package that owns each file (dpkg), or
from the files `source`, `copyright` and `changelog.Debian.gz` beside it.
A file of a work whose licence is not known here stops it, and so does a
linked member that an advisory names unless the changelog of its supplier
names that advisory too: then nothing is written but the notices."""
import hashlib, json, os, platform, subprocess, time
from documents import architectures, elf, identity, note, notices, sbom, vex, works

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def dumps(document):
    """JSON as the release has always written it: two-space indent, the
    members in the order written, UTF-8."""
    return json.dumps(document, indent=2, ensure_ascii=False) + "\n"


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def write(path, text):
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def run(*command):
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        raise ValueError(f"{command[0]} {command[1]} failed: {done.stderr.strip()}")
    return done.stdout.strip()


def texts(license_text, described):
    """NOTICES and copyright, by name."""
    return {"NOTICES": notices.notices(license_text, described),
            "copyright": notices.copyright(license_text, described)}


def sbom_and_vex(described, build, advisories):
    """The SBOM and the VEX by name, each work of described with "named",
    the advisories that its changelog names. A binary that links code an
    advisory names, unfixed, gets neither: ValueError says why."""
    said = vex.statements(advisories, described, build)
    refused = vex.refused(said)
    if refused:
        raise ValueError("the binary links code that an advisory names, and its supplier does not "
                         f"say it is fixed: {refused}")
    document = sbom.sbom(described, build)
    return {"sigsend.spdx.json": dumps(document), "sigsend.cdx.json": dumps(sbom.cyclonedx(described, build)),
            "sigsend.openvex.json": dumps(vex.vex(said, build)),
            "packaging.json": dumps(packaging(described, document))}


def packaging(described, document):
    """What the packages say of the executable, for cmake/package-fields.cmake:
    its licence; Debian's Static-Built-Using, each source package at its
    exact version; and Fedora's bundled() Provides, each work at its upstream
    version."""
    return {"license": document["packages"][0]["licenseConcluded"],
            "static_built_using": ", ".join(dict.fromkeys(
                "%s (= %s)" % (w["source"], w["packaged"]) for w in described)),
            "bundled": ", ".join("bundled(%s) = %s" % (w["name"], w["upstream"]) for w in described)}


def identities(version, row, system, note_text):
    """The purls that a scanner gives the binary of ROW (architectures.txt):
    in the .deb (its version is the project's) and the .rpm (release 1, as
    cmake/packaging.cmake has it; built to Fedora's rules), and from its
    package note, as Syft reads it."""
    found = [f"pkg:deb/{system['ID']}/sigsend@{version}?arch={row['debian']}",
             f"pkg:rpm/fedora/sigsend@{version}-1?arch={row['rpm']}"]
    said = json.loads(note_text) if note_text else None
    if not said:
        return found
    distro = "-".join(said[k] for k in ("os", "osVersion") if said.get(k))
    return found + [f"pkg:{said.get('type', 'generic')}/{said['name']}@{said['version']}"
                    + (f"?distro={distro}" if distro else "")]


def main(args):
    """notices OUTDIR BINARY MAP|"" VERSION REVISION|"" COMPILER LICENSE [HOMEPAGE DESCRIPTION]:
    HOMEPAGE and DESCRIPTION are project()'s, which CMake passes; a caller
    that gives neither gets those of this tree's CMakeLists.txt."""
    if len(args) not in (7, 9):
        raise ValueError("usage: notices OUTDIR BINARY MAP VERSION REVISION COMPILER LICENSE "
                         "[HOMEPAGE DESCRIPTION]")
    out, binary, linker_map, version, revision, compiler, license_file, *project = args
    if not project:
        found = identity.from_cmakelists(read(os.path.join(HERE, "..", "CMakeLists.txt")))
        project = [found.get("homepage", ""), found.get("description", "")]
    said = identity.make(*project, version, revision)
    system = platform.freedesktop_os_release()
    license_text = read(license_file)
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, identity.NAME), said)
    for name in ("sigsend.spdx.json", "sigsend.cdx.json", "sigsend.openvex.json", "packaging.json"):
        if os.path.exists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    files = [(os.path.realpath(path), member)
             for path, member in works.taken(read(linker_map) if linker_map else "")]
    owners = {}

    def owner_of(path):
        if path not in owners:
            owners[path] = works.supplied(works.dpkg_owner(path), system)
        return owners[path]
    gcc = run(compiler, "-dumpfullversion") if linker_map else ""
    gpl = "/usr/share/common-licenses/GPL-3"
    described = [works.describe(w, read(w["copyright"]), gcc, read(gpl) if os.path.exists(gpl) else "")
                 for w in works.works(files, owner_of)]
    for name, text in texts(license_text, described).items():
        write(os.path.join(out, name), text)
    if not linker_map:
        return 0

    data = read(binary, "rb")
    row = elf.row(data, architectures.read(os.path.join(HERE, "..", "cmake", "architectures.txt")))
    path = os.path.realpath(run("sh", "-c", 'command -v "$1"', "sh", compiler))
    owner = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True)
    built_by = "\n".join(line.split(":")[0] for line in owner.stdout.splitlines())
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or time.time())
    build = {"homepage": json.loads(said)["homepage"], "version": version, "revision": revision,
             "platform": row["platform"], "purl": f"pkg:generic/sigsend@{version}?arch={row['debian']}",
             "also": identities(version, row, system, note.package(data)),
             "sha256": hashlib.sha256(data).hexdigest(), "note": note.package(data),
             "holder": notices.holder(license_text),
             "created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)),
             "machine": run(compiler, "-dumpmachine"), "os_release": system,
             "compiler": os.path.basename(path) + " " + gcc + (f" ({built_by})" if built_by else "")}
    for w in described:
        w["named"] = works.changelog_names(w["changelog"])
    advisories = json.loads(read(os.path.join(HERE, "advisories.json")))["advisories"]
    try:
        made = sbom_and_vex(described, build, advisories)
    except ValueError as e:
        raise ValueError(f"{binary}: {e}") from None
    for name, text in made.items():
        write(os.path.join(out, name), text)
    return 0
