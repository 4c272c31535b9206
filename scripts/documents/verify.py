# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The one check of a downloaded release folder, which rebuild and publish
both make: until a file matches a signed SHA256SUMS it is a stranger's.
SHA256SUMS, its signature and the buildinfo are refused above LIMIT before a
byte is copied; every other file is taken only when SHA256SUMS lists it,
never longer than the checked buildinfo says it is."""
import os, re, types
from documents import architectures, base, buildinfo, sums

LIMIT = 1 << 20  # SHA256SUMS, its signature and the buildinfo are text of a few KiB
TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "architectures.txt")


def one(listed, pattern, what):
    found = [name for name in listed if re.fullmatch(pattern, name)]
    if len(found) != 1:
        raise base.Refusal(f"SHA256SUMS lists {len(found)} {what}, not one: {', '.join(found)}")
    return found[0], re.fullmatch(pattern, found[0]).group(1)


def copy(source, name, work, limit):
    try:
        return sums.copy(source, name, work, limit)
    except ValueError as error:
        raise base.Refusal(f"in {source}: {error}") from None


def folder(source, scratch, keyring=None):
    """Checks the release folder SOURCE, with copies in the folder SCRATCH: with
    KEYRING (gpgv's keyring) SHA256SUMS.asc must be its good signature of
    SHA256SUMS. The release's values, and the paths of the checked copies,
    which are in its folder .work, which holds nothing else."""
    if not os.path.isdir(source):
        raise base.Refusal(f"{source} is not a folder")
    work = os.path.join(scratch, "copies")
    os.mkdir(work, 0o755)
    copy(source, "SHA256SUMS", work, LIMIT)
    if keyring:
        copy(source, "SHA256SUMS.asc", work, LIMIT)
        os.mkdir(os.path.join(scratch, "gnupg"), 0o700)
        try:
            base.run(["gpgv", "--keyring", keyring, "--", os.path.join(work, "SHA256SUMS.asc"),
                      os.path.join(work, "SHA256SUMS")], env=dict(base.ENV, GNUPGHOME=os.path.join(scratch, "gnupg")))
        except base.Refusal as error:
            raise base.Refusal(f"SHA256SUMS.asc is not a good signature of SHA256SUMS by a key of {keyring}:\n"
                               + str(error).split(": ", 1)[-1]) from None
    with open(os.path.join(work, "SHA256SUMS"), "rb") as file:
        try:
            listed = sums.parse(file.read())
        except ValueError as error:
            raise base.Refusal(f"in {source}: {error}") from None
    if "SHA256SUMS" in listed:
        raise base.Refusal("SHA256SUMS lists itself")
    info, version = one(listed, r"sigsend-(.+)\.buildinfo", "buildinfo files")
    tarball, other = one(listed, r"sigsend-(.+)\.tar\.gz", "source tarballs")
    if version != other or not buildinfo.is_version(version):
        raise base.Refusal(f"SHA256SUMS lists {info} and {tarball}, not one version's")
    if copy(source, info, work, LIMIT)[0] != listed[info]:
        raise base.Refusal(f"in {source}: {info} is not the file that SHA256SUMS lists")
    rows = {row["debian"] for row in architectures.read(TABLE)}
    try:
        with open(os.path.join(work, info), "rb") as file:
            fields = buildinfo.parse(file.read())
        checked = buildinfo.check(fields, rows)
    except ValueError as error:
        raise base.Refusal(f"in {source}: {error}") from None
    if checked["version"] != version:
        raise base.Refusal(f"{info} gives the Version {checked['version']}")
    sizes = {name: size for name, (_, size) in checked["checksums"].items()}
    found = copy(source, tarball, work, sizes.get(tarball, 0))
    if found[0] != listed[tarball] or checked["checksums"].get(tarball) != found:
        raise base.Refusal(f"in {source}: {tarball} is not the file that SHA256SUMS and {info} list")
    with open(os.path.join(scratch, "pins"), "x", encoding="utf-8") as file:
        file.write(buildinfo.pins(checked["packages"], checked["archive_dates"]))
    return types.SimpleNamespace(
        source=source, work=work, listed=listed, names=sorted(["SHA256SUMS", *listed]), sizes=sizes,
        buildinfo=os.path.join(work, info), tarball=os.path.join(work, tarball), fields=fields,
        pins=os.path.join(scratch, "pins"), **{key: checked[key] for key in (
            "version", "revision", "architecture", "epoch", "suites", "packages")})


def take(release, names, present=False):
    """Copies each of NAMES, which SHA256SUMS must list, from the release's
    folder into its work folder, each no longer than the buildinfo gives
    it, and checks the copies against SHA256SUMS: their paths. With PRESENT,
    a name that the folder does not hold at all is left out."""
    taken = {}
    for name in names:
        path = os.path.join(release.work, name)
        if name not in release.listed and name != "SHA256SUMS":
            raise base.Refusal(f"{name} is not listed in SHA256SUMS")
        if not os.path.lexists(path):
            if present and not os.path.lexists(os.path.join(release.source, name)):
                continue
            if name not in release.sizes:
                raise base.Refusal(f"{os.path.basename(release.buildinfo)} gives {name} no size")
            if copy(release.source, name, release.work, release.sizes[name])[0] != release.listed[name]:
                raise base.Refusal(f"in {release.source}: {name} is not the file that SHA256SUMS lists")
        taken[name] = path
    return taken
