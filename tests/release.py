#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Checks of a release folder DIR that read its documents, one per ctest
case (label release); tests/release.sh has the others.
  buildinfo DIR VERSION  the buildinfo is deb-buildinfo(5)'s form, its
      checksums are those of every other file of the set, its date is its
      SOURCE_DATE_EPOCH, and every Debian package that an SBOM names is in
      its Installed-Build-Depends at that version, from the Debian release
      that its base-files is; the SBOMs name its commit
  licences DIR  each .deb's copyright stanza and each .rpm's License tag
      give the expression of the SBOM whose binary is the one inside; both
      name what the binary bundles
Reads with python3-debian, dpkg-deb and rpm; shares no code with what wrote
the release."""
import email.utils, glob, hashlib, io, json, os, re, shutil, subprocess, sys, tarfile
from datetime import datetime, timezone

try:
    from debian import deb822
except ImportError:
    print("skipped: no deb822 for Python (the python3-debian package brings it)")
    sys.exit(0)


def fail(said):
    sys.exit("FAILED: " + said)


def lines(value):
    return [line.strip() for line in value.split("\n") if line.strip()]


def digest(name, path):
    with open(path, "rb") as f:
        return hashlib.new(name, f.read()).hexdigest()


def sboms(folder):
    found = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.spdx.json"))):
        with open(path) as f:
            found[path] = json.load(f)
    return found


def sbom_of(folder, binary, what):
    """The release's SBOM that lists BINARY's SHA-256."""
    sha = hashlib.sha256(binary).hexdigest()
    for path, doc in sboms(folder).items():
        if doc["packages"][0]["checksums"][0]["checksumValue"] == sha:
            return doc
    fail(f"no SBOM in {folder} lists the binary {sha} of {what}")


def buildinfo(folder, version):
    info = os.path.join(folder, f"sigsend-{version}.buildinfo")
    if not os.path.isfile(info):
        fail(f"no {info}")
    with open(info) as f:
        text = f.read()
    bad = [line for line in text.splitlines() if not re.fullmatch(r"[A-Za-z0-9-]+:( .*)?| .+", line)]
    if bad:
        fail(f"{info}: lines that are neither a field nor a continuation: {bad}")
    fields = deb822.Deb822(text.splitlines(True))
    for name in ("Format", "Source", "Binary", "Architecture", "Version", "Checksums-Md5", "Checksums-Sha1",
                 "Checksums-Sha256", "Build-Origin", "Build-Architecture", "Build-Date",
                 "Installed-Build-Depends", "Environment"):
        if not fields.get(name, "").strip():
            fail(f"{info} has no {name}")
    if (fields["Format"], fields["Source"], fields["Version"]) != ("1.0", "sigsend", version):
        fail(f"{info}: Format, Source or Version is not 1.0, sigsend, {version}")
    others = sorted(name for name in os.listdir(folder) if os.path.isfile(os.path.join(folder, name))
                    and name not in ("SHA256SUMS", os.path.basename(info)) and not name.endswith(".asc"))
    for name in ("md5", "sha1", "sha256"):
        field = "Checksums-" + name.capitalize()
        want = ["%s %d %s" % (digest(name, os.path.join(folder, f)), os.path.getsize(os.path.join(folder, f)), f)
                for f in others]
        if sorted(lines(fields[field]), key=lambda line: line.split()[2]) != want:
            fail(f"{info}: {field} does not list every other file of the set as it is")
    epochs = [m.group(1) for m in map(re.compile(r'SOURCE_DATE_EPOCH="([0-9]+)"').fullmatch,
                                      lines(fields["Environment"])) if m]
    if len(epochs) != 1 or email.utils.format_datetime(
            datetime.fromtimestamp(int(epochs[0]), timezone.utc)) != fields["Build-Date"]:
        fail(f"{info}: Build-Date is not its SOURCE_DATE_EPOCH")
    installed = {line.rstrip(",") for line in lines(fields["Installed-Build-Depends"])}
    release = [m.group(1) for m in map(re.compile(r"base-files \(= ([0-9]+).*\)").fullmatch, installed) if m]
    if not release:
        fail(f"{info} lists no base-files, which says the Debian release")
    native, revision = fields["Build-Architecture"], fields.get("Git-Commit", "")
    for path, doc in sboms(folder).items():
        if doc["packages"][0].get("sourceInfo") != f"built from git commit {revision}":
            fail(f"{path} does not name the buildinfo's commit {revision}")
        for package in doc["packages"]:
            for ref in package.get("externalRefs", []):
                purl = re.fullmatch(r"pkg:deb/[^/]+/([^@]+)@([^?]+)\?(.*)", ref["referenceLocator"])
                if not purl:
                    continue
                name, packaged, qualifiers = purl.groups()
                qualifiers = dict(q.split("=", 1) for q in qualifiers.split("&"))
                if qualifiers["arch"] == "source":
                    continue
                if qualifiers["arch"] not in (native, "all"):
                    name += ":" + qualifiers["arch"]
                if qualifiers.get("distro") != f"debian-{release[0]}":
                    fail(f"{path}: {purl.group(0)} is not from Debian {release[0]}")
                if "%s (= %s)" % (name, packaged.replace("%2B", "+")) not in installed:
                    fail(f"{path} names {name} {packaged}, which {info} does not list")
    print(f"ok: {info} lists the {len(others)} other files, {len(installed)} packages of Debian "
          f"{release[0]} and every one that the SBOMs name")


def run(*command, stdin=None):
    return subprocess.run(command, input=stdin, capture_output=True, check=True).stdout


# Debian's short names for SPDX's, as the copyright format gives them: this
# check's own table, so that it does not take the writer's word.
DEBIAN = {"MIT": "MIT", "BSD-2-Clause": "BSD-2-clause", "BSD-3-Clause": "BSD-3-clause", "ISC": "ISC",
          "GPL-3.0-or-later WITH GCC-exception-3.1": "GPL-3+ with GCC-exception-3.1 exception"}


def licences(folder):
    for tool, package in (("rpm", "rpm"), ("rpm2cpio", "rpm2cpio"), ("cpio", "cpio"), ("dpkg-deb", "dpkg")):
        if not shutil.which(tool):
            print(f"skipped: no {tool} (the {package} package brings it)")
            sys.exit(0)
    for deb in sorted(glob.glob(os.path.join(folder, "*.deb"))):
        with tarfile.open(fileobj=io.BytesIO(run("dpkg-deb", "--fsys-tarfile", deb))) as tar:
            binary = tar.extractfile("./usr/bin/sigsend").read()
            copyright = tar.extractfile("./usr/share/doc/sigsend/copyright").read().decode()
        sbom = sbom_of(folder, binary, deb)
        if not re.search(r"^Comment: Linked statically with musl ", copyright, re.M):
            fail(f"{deb}: its copyright does not say what is linked")
        stanzas = [p for p in deb822.Deb822.iter_paragraphs(copyright.splitlines(True))
                   if p.get("Files") == "usr/bin/sigsend"]
        stanza = stanzas[0]["License"].split("\n")[0] if stanzas else ""
        want = " and ".join(DEBIAN.get(term, term) for term in sbom["packages"][0]["licenseConcluded"].split(" AND "))
        if stanza != want:
            fail(f"{deb}: its copyright gives '{stanza}', its SBOM '{want}'")
        built_using = run("dpkg-deb", "-f", deb, "Static-Built-Using").decode().strip()
        if not re.fullmatch(r"musl \(= [^)]+\), gcc-[0-9a-z-]+ \(= [^)]+\)", built_using):
            fail(f"{deb}: Static-Built-Using '{built_using}'")
        print(f"ok: {os.path.basename(deb)}: {stanza}; Static-Built-Using: {built_using}")
    for rpm in sorted(glob.glob(os.path.join(folder, "*.rpm"))):
        binary = run("cpio", "-i", "--quiet", "--to-stdout", "./usr/bin/sigsend", stdin=run("rpm2cpio", rpm))
        expression = sbom_of(folder, binary, rpm)["packages"][0]["licenseConcluded"]
        got = (run("rpm", "-qp", "--qf", "%{LICENSE}", rpm).decode(), run("rpm", "-qpL", rpm).decode().split())
        want = (expression, ["/usr/share/doc/sigsend/NOTICES", "/usr/share/doc/sigsend/copyright"])
        if got != want:
            fail(f"{rpm}: licence and %license files: {got}, not {want}")
        provides = run("rpm", "-qp", "--provides", rpm).decode().splitlines()
        if not any(re.fullmatch(r"bundled\(musl\) = [0-9.]+", line) for line in provides):
            fail(f"{rpm} provides no bundled(musl)")
        print(f"ok: {os.path.basename(rpm)}: {expression}, bundled(musl)")


if __name__ == "__main__":
    mode, folder = sys.argv[1:3]
    if not os.path.isdir(folder):
        fail(f"{folder} is not a folder")
    if mode == "buildinfo":
        buildinfo(folder, sys.argv[3])
    elif mode == "licences":
        licences(folder)
    else:
        sys.exit("usage: tests/release.py buildinfo DIR VERSION | licences DIR")
