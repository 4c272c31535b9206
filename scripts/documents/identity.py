# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What the project says of itself (name, homepage, description: its top CMakeLists.txt's project()) and a
build's version and revision, written as each build's identity.json, which the image and the VEX read;
the provenance reads the release tarball's project(). Nothing else names the homepage."""
import json, os, re

NAME = "identity.json"
PROJECT = re.compile(r'^[ \t]*project[ \t]*\(((?:[^()"#]|"(?:[^"\\]|\\.)*"|#[^\n]*)*)\)', re.M | re.I)
TOKEN = re.compile(r'"((?:[^"\\]|\\.)*)"|#[^\n]*|([^\s"()#]+)')
FIELDS = {"VERSION": "version", "DESCRIPTION": "description", "HOMEPAGE_URL": "homepage"}


def homepage(url):
    """URL, an https URL, without a trailing slash, or ValueError."""
    if not re.fullmatch(r"https://[^\s\"'<>\\]+", url or ""):
        raise ValueError(f"the project's homepage {url!r} is no https URL")
    return url.rstrip("/")


def checked(found):
    """FOUND with its homepage checked and its description one line, or ValueError."""
    if not found.get("description") or "\n" in found["description"]:
        raise ValueError(f"the project's description {found.get('description')!r} is not one line")
    return dict(found, homepage=homepage(found.get("homepage")))


def from_cmakelists(text):
    """The name, version, homepage and description that a CMakeLists.txt's first project() gives, where it does."""
    call = PROJECT.search(text)
    if not call:
        raise ValueError("CMakeLists.txt calls no project()")
    words = [re.sub(r"\\(.)", r"\1", m.group(1) if m.group(1) is not None else m.group(2))
             for m in TOKEN.finditer(call.group(1)) if m.group(1) is not None or m.group(2)]
    found, key = {"name": words[0]}, None
    for word in words[1:]:
        if word in FIELDS or word == "LANGUAGES":
            key = word
        elif key in FIELDS:
            found[FIELDS[key]] = word
            key = None
    return found


def make(homepage, description, version, revision):
    """A build's identity.json, as text."""
    return json.dumps(checked({"name": "sigsend", "version": version, "revision": revision,
                               "homepage": homepage, "description": description}), indent=2, ensure_ascii=False) + "\n"


def read(folder):
    """The identity that a build wrote into FOLDER (its notices/)."""
    path = os.path.join(folder, NAME)
    try:
        with open(path, encoding="utf-8") as f:
            return checked(json.load(f))
    except FileNotFoundError:
        raise ValueError(f"{path} is missing: the build wrote no identity") from None


def agreed(identities, what):
    """The one identity that every build of IDENTITIES (WHAT they are) gives, or ValueError."""
    if not identities or any(i != identities[0] for i in identities):
        raise ValueError(f"the builds of {what} do not give one identity: {identities}")
    return identities[0]
