# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""A release's buildinfo (deb-buildinfo(5)): one deb822 paragraph, read strictly, each field that a
rebuild uses checked against its grammar before anything uses it; and its writer."""

import datetime
import email.utils
import glob
import os
import re
import subprocess

from documents import sums

FIELD = re.compile(r"([A-Za-z0-9][A-Za-z0-9-]*):(.*)")
ENTRY = re.compile(r"([a-z0-9][a-z0-9+.-]+)(?::([a-z0-9][a-z0-9-]*))? \(= ([^ ()]+)\)(,?)")
CHECKSUM = re.compile(r"([0-9a-f]{64}) (0|[1-9][0-9]*) (.+)")
COMMIT = re.compile(r"[0-9a-f]{40}")
EPOCH = re.compile(r'SOURCE_DATE_EPOCH="(0|[1-9][0-9]{0,11})"')
ARCHIVE_DATE = re.compile(r"([a-z][a-z0-9-]*) ([0-9]{8}T[0-9]{6}Z)")
INSTALLED = "-f=${db:Status-Abbrev}|${Package}|${Architecture}|${Version}\\n"
UTC = datetime.timezone.utc


def parse(data):
    """The fields of DATA (bytes): each value its first line's text, then each continuation line less one blank."""
    fields, name = {}, None
    for number, line in enumerate(sums.text_lines(data, "the buildinfo"), 1):
        if any(ord(c) < 0x20 and c != "\t" or 0x7F <= ord(c) <= 0x9F for c in line):
            raise ValueError(f"buildinfo line {number} holds a control character")
        if not line.strip(" \t"):
            raise ValueError(f"buildinfo line {number} is blank: one paragraph only")
        if line[0] in " \t":
            if name is None:
                raise ValueError("the buildinfo starts with a continuation line")
            fields[name].append(line[1:])
            continue
        match = FIELD.fullmatch(line)
        if not match:
            raise ValueError(f"buildinfo line {number} is not 'Field: value': {line!r}")
        name = match.group(1)
        if name.lower() in map(str.lower, fields):
            raise ValueError(f"the buildinfo has the field {name} twice")
        fields[name] = [match.group(2).strip(" \t")]
    return {field: "\n".join(lines) for field, lines in fields.items()}


def is_version(text):
    """Debian's [epoch:]upstream[-revision]: upstream starts with a digit, holds ':' only after an
    epoch and '-' only before a revision."""
    epoch, rest = re.fullmatch(r"(?:([0-9]+):)?(.*)", text).groups()
    upstream, dash, revision = rest.rpartition("-")
    if not dash:
        upstream, revision = rest, None
    allowed = "A-Za-z0-9.+~" + (":" if epoch is not None else "") + ("-" if revision is not None else "")
    return (re.fullmatch(f"[0-9][{allowed}]*", upstream) is not None
            and (revision is None or re.fullmatch(r"[A-Za-z0-9.+~]+", revision) is not None))


def lines(fields, name):
    """The continuation lines of a field whose first line is empty."""
    first, *rest = fields[name].split("\n")
    if first or not rest:
        raise ValueError(f"the buildinfo's {name} is not a list of lines")
    return rest


def single(fields, name):
    if "\n" in fields[name]:
        raise ValueError(f"the buildinfo's {name} is more than one line")
    return fields[name]


def each(fields, name, pattern, form):
    """PATTERN's match of each line of the list NAME in turn; FORM is what a refusal says a line must be."""
    for line in lines(fields, name):
        match = pattern.fullmatch(line)
        if not match:
            raise ValueError(f"the buildinfo's {name} has a line that is not '{form}': {line!r}")
        yield match


def packages(fields, architectures):
    """Installed-Build-Depends: (name, architecture or None, version) each."""
    entries, last = {}, len(lines(fields, "Installed-Build-Depends"))
    for number, match in enumerate(each(fields, "Installed-Build-Depends", ENTRY, "name[:arch] (= version)"), 1):
        package, arch, version, comma = match.groups()
        if not is_version(version):
            raise ValueError(f"the buildinfo gives {package} the version {version!r}, which is no Debian version")
        if arch is not None and arch not in architectures:
            raise ValueError(f"the buildinfo names {package} for {arch}, no architecture of cmake/architectures.txt")
        if (comma == ",") != (number < last):
            raise ValueError(f"the buildinfo's Installed-Build-Depends has a comma out of place at {match.string!r}")
        if (package, arch) in entries:
            raise ValueError(f"the buildinfo lists {package}{':' + arch if arch else ''} twice")
        entries[package, arch] = version
    return [(package, arch, version) for (package, arch), version in entries.items()]


def checksums(fields):
    """Checksums-Sha256: name -> (SHA-256, size)."""
    listed = {}
    for match in each(fields, "Checksums-Sha256", CHECKSUM, "sha256 size name"):
        digest, size, name = match.groups()
        problem = sums.name_problem(name)
        if problem or name in listed:
            raise ValueError(f"the buildinfo's Checksums-Sha256 names {name!r}, which {problem or 'it lists twice'}")
        listed[name] = (digest, int(size))
    return listed


def check(fields, architectures):
    """The values a rebuild uses, each checked; ARCHITECTURES is the Debian names of cmake/architectures.txt."""
    for name in ("Format", "Source", "Version", "Git-Commit", "Checksums-Sha256",
                 "Build-Architecture", "Build-Date", "Build-Suites", "Installed-Build-Depends", "Environment"):
        if name not in fields:
            raise ValueError(f"the buildinfo has no {name}")
    if single(fields, "Format") != "1.0" or single(fields, "Source") != "sigsend":
        raise ValueError("the buildinfo is not Format 1.0 of Source sigsend")
    values = {}
    for key, name, good, fault in (
            ("version", "Version", is_version, "is no Debian version"),
            ("revision", "Git-Commit", COMMIT.fullmatch, "is not a commit id"),
            ("architecture", "Build-Architecture", lambda arch: arch in architectures,
             "is no architecture of cmake/architectures.txt")):
        values[key] = single(fields, name)
        if not good(values[key]):
            raise ValueError(f"the buildinfo's {name} {values[key]!r} {fault}")
    epochs = [EPOCH.fullmatch(line) for line in lines(fields, "Environment")
              if line.startswith("SOURCE_DATE_EPOCH=")]
    if len(epochs) != 1 or not epochs[0]:
        raise ValueError("the buildinfo's Environment has no single SOURCE_DATE_EPOCH in seconds")
    epoch = int(epochs[0].group(1))
    # As `date -R` wrote it, from the same epoch.
    date = single(fields, "Build-Date")
    if date != email.utils.format_datetime(datetime.datetime.fromtimestamp(epoch, UTC)):
        raise ValueError(f"the buildinfo's Build-Date {date!r} is not the time of its SOURCE_DATE_EPOCH {epoch}")
    suites = single(fields, "Build-Suites").split()
    if not suites or not all(re.fullmatch(r"[a-z][a-z0-9-]*", suite) for suite in suites):
        raise ValueError(f"the buildinfo's Build-Suites {fields['Build-Suites']!r} are not suites")
    return dict(values, epoch=epoch, date=date, suites=suites, packages=packages(fields, architectures),
                checksums=checksums(fields), archive_dates=archive_dates(fields))


def archive_dates(fields):
    """Archive-Dates, where the buildinfo has it: (suite, stamp of its Release in snapshot.debian.org's form)."""
    if "Archive-Dates" not in fields:
        return []
    return [match.groups() for match in each(fields, "Archive-Dates", ARCHIVE_DATE, "suite YYYYMMDDTHHMMSSZ")]


def pins(entries, dates=()):
    """A buildinfo of Installed-Build-Depends alone, and Archive-Dates for the root to fall back on."""
    listed = [f" {package}{':' + arch if arch else ''} (= {version})" for package, arch, version in entries]
    text = "Installed-Build-Depends:\n" + ",\n".join(listed) + "\n"
    if dates:
        text += "Archive-Dates:\n" + "".join(f" {suite} {stamp}\n" for suite, stamp in dates)
    return text


def render(values):
    """The buildinfo's text from VALUES: version, revision, architectures, files (name -> (digests, size)), origin,
    native, epoch, path, suites, dates (suite -> stamp), packages as dpkg lists them, environment (NAME=value)."""
    if not values["origin"]:
        raise ValueError("Build-Origin is empty: dpkg-vendor named no vendor")
    checksums = [f"Checksums-{kind}:\n" + "".join(
        f" {digests[index]} {size} {name}\n" for name, (digests, size) in values["files"].items())
        for index, kind in enumerate(("Md5", "Sha1", "Sha256"))]
    native = values["native"]
    installed = sorted((f" {name if arch in (native, 'all') else name + ':' + arch} (= {version})"
                        for name, arch, version in values["packages"]), key=str.encode)
    if not installed:
        raise ValueError("dpkg lists no installed package")
    environment = ["Environment:\n"]
    for name, _, value in (entry.partition("=") for entry in sorted(values["environment"], key=str.encode)):
        if "\n" in name + value:
            raise ValueError(f"the build's environment variable {name} holds a line break")
        environment.append(' %s="%s"\n' % (name, value.replace("\\", "\\\\").replace('"', '\\"')))
    head = {"Format": "1.0", "Source": "sigsend", "Binary": "sigsend",
            "Architecture": " ".join(values["architectures"]) + " source",
            "Version": values["version"], "Git-Commit": values["revision"]}
    build = {"Origin": values["origin"], "Architecture": native,
             "Date": email.utils.format_datetime(datetime.datetime.fromtimestamp(values["epoch"], UTC)),
             "Path": values["path"], "Suites": " ".join(values["suites"])}
    return "".join([*(f"{field}: {value}\n" for field, value in head.items()), *checksums,
                    *(f"Build-{field}: {value}\n" for field, value in build.items()),
                    "Archive-Dates:\n" + "".join(f" {suite} {values['dates'][suite]}\n" for suite in values["suites"]),
                    "Installed-Build-Depends:\n" + ",\n".join(installed) + "\n", *environment])


def release_dates(folder, suites):
    """The Date of each suite's Release file in FOLDER (apt's lists), in snapshot.debian.org's form: a
    rebuild once the archive has moved on asks for the first snapshot after the latest of them."""
    dates = {}
    for path in [path for kind in ("*_InRelease", "*_Release")
                 for path in sorted(glob.glob(os.path.join(glob.escape(folder), kind))) if os.path.isfile(path)]:
        with open(path, encoding="utf-8", errors="replace") as file:
            text = file.read().split("\n")
        codename = next((line[10:] for line in text if line.startswith("Codename: ")), "")
        date = next((line[6:] for line in text if line.startswith("Date: ")), "")
        if not date:
            raise ValueError(f"{path} has no Date")
        try:
            when = email.utils.parsedate_to_datetime(date)
        except (TypeError, ValueError):
            raise ValueError(f"{path} has a Date that cannot be read: {date!r}") from None
        if when.tzinfo is None:
            raise ValueError(f"{path} has a Date without a time zone: {date!r}")
        if codename:
            dates[codename] = when.astimezone(UTC).strftime("%Y%m%dT%H%M%SZ")
    for suite in suites:
        if suite not in dates:
            raise ValueError(f"apt's lists hold no Release file of {suite}")
    return dates


def run(*command):
    """COMMAND's output: a failure or an empty answer stops the buildinfo rather than leave a field empty."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env={"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL": "C"}, check=False)
    said = done.stdout.decode()
    if done.returncode != 0 or not said.strip():
        raise ValueError(f"{' '.join(command)} failed ({done.returncode}): "
                         f"{done.stderr.decode(errors='replace').strip() or 'no answer'}")
    return said


def write(folder, values, lists="/var/lib/apt/lists"):
    """Writes FOLDER/sigsend-VERSION.buildinfo of every file of FOLDER, then FOLDER/SHA256SUMS of them all.
    VALUES are render()'s less those read here: files, origin, native, dates and packages."""
    names = sorted(os.listdir(folder), key=os.fsencode)
    for name in names:
        if name == "SHA256SUMS" or name.endswith(".buildinfo"):
            raise ValueError(f"{folder} holds {name} already")
        if not os.path.isfile(os.path.join(folder, name)) or os.path.islink(os.path.join(folder, name)):
            raise ValueError(f"{folder}/{name} is not a regular file")
    values = dict(values, files={name: sums.digests(os.path.join(folder, name)) for name in names},
                  origin=run("dpkg-vendor", "--query", "Vendor").strip(),
                  native=run("dpkg", "--print-architecture").strip(),
                  dates=release_dates(lists, values["suites"]),
                  packages=[tuple(line.split("|")[1:]) for line in run("dpkg-query", "-W", INSTALLED).splitlines()
                            if line.startswith("ii")])
    info = f"sigsend-{values['version']}.buildinfo"
    with open(os.path.join(folder, info), "x", encoding="utf-8") as file:
        file.write(render(values))
    sums.write(folder, [*names, info])
    return info
