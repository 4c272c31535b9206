# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The commands that scripts run: /usr/bin/python3 -I scripts/documents
COMMAND ARGS... A refusal prints its reason alone on stderr (the calling
script names itself) and exits 1.

  take DIR WORK NAME...
      copies each regular file NAME of DIR into WORK; a symbolic link or
      anything else that is not a file is refused
  verify-release DIR --work WORK
      WORK holds SHA256SUMS, taken from DIR (and its signature checked, if
      there is one). Takes the one buildinfo and the one source tarball it
      lists from DIR into WORK, checks the copies against SHA256SUMS and the
      tarball against the buildinfo's Checksums-Sha256, and every field of
      the buildinfo that a rebuild uses against its grammar. Writes into
      WORK: "pins", a buildinfo of only the checked Installed-Build-Depends;
      "names", SHA256SUMS and every name it lists, sorted, each ended by a
      NUL. Prints version=, revision=, architecture= and epoch=, one a line.
  provenance BUILDINFO TARBALL
      prints the SLSA provenance v1 predicate of the build that BUILDINFO
      records from TARBALL (checked copies), for scripts/publish
  manifests ARCHIVE
      prints "index DIGEST", then "PLATFORM DIGEST" for each image of the
      OCI image archive ARCHIVE
  architectures COLUMN...
      prints the named columns of every row of cmake/architectures.txt,
      space-separated, one row a line
  buildinfo SET --version V --revision R --epoch SECONDS --path TREE
            --environment FILE --architecture A... --suite S...
      writes SET/sigsend-V.buildinfo, with the checksums of every file of
      SET, this machine's packages (dpkg), origin and the dates of the
      suites' Release files (apt's lists), and the environment that FILE
      holds (as `env -0` prints it); then SET/SHA256SUMS of them all
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from documents import architectures, buildinfo, sums  # noqa: E402
from documents import build, oci, vex  # noqa: E402
from documents import provenance  # noqa: E402

TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "architectures.txt")


def take(args):
    parser = argparse.ArgumentParser(prog="documents take")
    parser.add_argument("dir")
    parser.add_argument("work")
    parser.add_argument("names", nargs="+")
    options = parser.parse_args(args)
    for name in options.names:
        sums.copy(options.dir, name, options.work)


def one(listed, pattern, what):
    found = [name for name in listed if re.fullmatch(pattern, name)]
    if len(found) != 1:
        raise ValueError(f"SHA256SUMS lists {len(found)} {what}, not one: {', '.join(found)}")
    return found[0], re.fullmatch(pattern, found[0]).group(1)


def verify_release(args):
    parser = argparse.ArgumentParser(prog="documents verify-release")
    parser.add_argument("dir")
    parser.add_argument("--work", required=True)
    options = parser.parse_args(args)
    work = options.work
    with open(os.path.join(work, "SHA256SUMS"), "rb") as file:
        listed = sums.parse(file.read())
    if "SHA256SUMS" in listed:
        raise ValueError("SHA256SUMS lists itself")
    info, version = one(listed, r"sigsend-(.+)\.buildinfo", "buildinfo files")
    tarball, source = one(listed, r"sigsend-(.+)\.tar\.gz", "source tarballs")
    if version != source or not buildinfo.is_version(version):
        raise ValueError(f"SHA256SUMS lists {info} and {tarball}, not one version's")
    # Only copies that nobody else writes to are checked and then used.
    copied = {}
    for name in (info, tarball):
        copied[name] = sums.copy(options.dir, name, work)
        if copied[name][0] != listed[name]:
            raise ValueError(f"{name} is not the file that SHA256SUMS lists")
    with open(os.path.join(work, info), "rb") as file:
        fields = buildinfo.parse(file.read())
    rows = {row["debian"] for row in architectures.read(TABLE)}
    checked = buildinfo.check(fields, rows)
    if checked["version"] != version:
        raise ValueError(f"{info} gives the Version {checked['version']}")
    if checked["checksums"].get(tarball) != copied[tarball]:
        raise ValueError(f"{info} does not list {tarball} with its SHA-256 and size")
    with open(os.path.join(work, "pins"), "x", encoding="utf-8") as file:
        file.write(buildinfo.pins(checked["packages"], checked["archive_dates"]))
    with open(os.path.join(work, "names"), "x", encoding="utf-8") as file:
        file.write("".join(name + "\0" for name in sorted(["SHA256SUMS", *listed])))
    for key in ("version", "revision", "architecture", "epoch"):
        print(f"{key}={checked[key]}")


def columns(args):
    if not args:
        raise ValueError("architectures: name the columns to print")
    sys.stdout.write(architectures.columns(architectures.read(TABLE), args))


def write_buildinfo(args):
    parser = argparse.ArgumentParser(prog="documents buildinfo")
    parser.add_argument("set")
    for option in ("--version", "--revision", "--path", "--environment"):
        parser.add_argument(option, required=True)
    parser.add_argument("--architecture", action="append", required=True)
    parser.add_argument("--suite", action="append", required=True)
    parser.add_argument("--epoch", required=True, type=int)
    options = parser.parse_args(args)
    with open(options.environment, "rb") as file:
        environment = [entry.decode() for entry in file.read().split(b"\0") if entry]
    buildinfo.write(options.set, {
        "version": options.version, "revision": options.revision,
        "architectures": options.architecture, "epoch": options.epoch, "path": options.path,
        "suites": options.suite, "environment": environment})


COMMANDS = {"take": take, "verify-release": verify_release,
            "architectures": columns, "buildinfo": write_buildinfo,
            "notices": build.main, "oci-image": oci.main, "vex-merge": vex.main,
            "provenance": lambda args: provenance.command(args, TABLE),
            "manifests": provenance.manifests_command}


def main(argv):
    if not argv or argv[0] not in COMMANDS:
        print(f"usage: documents {'|'.join(COMMANDS)} ARGS...", file=sys.stderr)
        return 2
    try:
        COMMANDS[argv[0]](argv[1:])
    except (ValueError, OSError) as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
