# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""SHA256SUMS as sha256sum writes it, read strictly (each name a file of the release's folder, never trimmed),
and the copy of a listed file into a folder of one's own, checked there."""

import errno
import hashlib
import os
import re
import stat
import unicodedata

LINE = re.compile(r"([0-9a-f]{64})  (.+)")


def name_problem(name):
    """Why NAME cannot be a file of a release's folder, or None."""
    hidden = [c for c in name if unicodedata.category(c) in ("Cf", "Zl", "Zp")]
    for fault, problem in ((name in ("", ".", ".."), "is not a file name"),
                           ("/" in name, "is a path, not a file name"),
                           (name.startswith("-"), "starts with '-'"),
                           ("\\" in name, "holds a backslash"),
                           (any(ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F for c in name), "holds a control character"),
                           (hidden, hidden and "holds the invisible character U+%04X" % ord(hidden[0]))):
        if fault:
            return problem
    return None


def text_lines(data, what):
    """The lines of DATA (bytes), the document WHAT: UTF-8 text whose every line, the last too, is ended."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise ValueError(f"{what} is not UTF-8 text: {error}") from None
    if not text.endswith("\n"):
        raise ValueError(f"{what} is empty or its last line is not ended")
    return text[:-1].split("\n")


def parse(data):
    """The names that DATA (bytes) lists, with their SHA-256, in order."""
    listed = {}
    for number, line in enumerate(text_lines(data, "SHA256SUMS"), 1):
        if line.startswith("\\"):
            raise ValueError(f"SHA256SUMS line {number} is escaped, which no release file needs")
        match = LINE.fullmatch(line)
        if not match:
            raise ValueError(f"SHA256SUMS line {number} is not '<sha256>  <name>': {line!r}")
        digest, name = match.groups()
        problem = name_problem(name)
        if problem:
            raise ValueError(f"SHA256SUMS line {number}: the name {name!r} {problem}")
        if name in listed:
            raise ValueError(f"SHA256SUMS lists {name!r} twice")
        listed[name] = digest
    return listed


KINDS = {stat.S_IFDIR: "folder", stat.S_IFIFO: "fifo", stat.S_IFSOCK: "socket",
         stat.S_IFCHR: "character device", stat.S_IFBLK: "block device"}


def open_file(source, name):
    """A descriptor of the regular file NAME in the folder SOURCE, never through a symbolic link."""
    path = os.path.join(source, name)
    try:
        folder = os.open(source, os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
        try:
            fd = os.open(name, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC, dir_fd=folder)
        finally:
            os.close(folder)
    except OSError as error:
        why = {errno.ENOENT: "is not there", errno.ELOOP: "is a symbolic link, not a file"}.get(
            error.errno, f"cannot be opened: {error.strerror}")
        raise ValueError(f"{path} {why}") from None
    kind = stat.S_IFMT(os.fstat(fd).st_mode)
    if kind != stat.S_IFREG:
        os.close(fd)
        raise ValueError(f"{path} is a {KINDS.get(kind, 'special file')}, not a file")
    return fd


def copy(source, name, target, limit=None):
    """Copies the regular file NAME from the folder SOURCE into TARGET, readable by all, and returns the
    copy's SHA-256 and size; never more than LIMIT bytes are read, and a larger file is refused first."""
    fd = open_file(source, name)
    size = os.fstat(fd).st_size
    bound = f"{limit >> 20} MiB" if limit and limit % (1 << 20) == 0 else f"{limit} bytes"
    if limit is not None and size > limit:
        os.close(fd)
        raise ValueError(f"{os.path.join(source, name)} has {size} bytes, more than the {bound} it may have")
    size = 0
    with os.fdopen(fd, "rb") as reading, open(os.path.join(target, name), "xb") as writing:
        os.fchmod(writing.fileno(), 0o644)
        while chunk := reading.read(1 << 20 if limit is None else min(1 << 20, limit + 1 - size)):
            size += len(chunk)
            if limit is not None and size > limit:
                raise ValueError(f"{os.path.join(source, name)} grew beyond the {bound} it may have")
            writing.write(chunk)
    # What is checked is the copy, which nobody else writes to.
    (_, _, sha256), size = digests(os.path.join(target, name))
    return sha256, size


def digests(path):
    """PATH's MD5, SHA-1 and SHA-256, and its size."""
    hashes = [hashlib.md5(), hashlib.sha1(), hashlib.sha256()]
    size = 0
    with open(path, "rb") as file:
        while chunk := file.read(1 << 20):
            for one in hashes:
                one.update(chunk)
            size += len(chunk)
    return [one.hexdigest() for one in hashes], size


def write(folder, names):
    """Writes FOLDER/SHA256SUMS as sha256sum would, of NAMES in their order, each a name parse() takes."""
    lines = []
    for name in names:
        problem = name_problem(name)
        if problem:
            raise ValueError(f"the release's file {name!r} {problem}")
        (_, _, sha256), _ = digests(os.path.join(folder, name))
        lines.append(f"{sha256}  {name}\n")
    with open(os.path.join(folder, "SHA256SUMS"), "x", encoding="utf-8") as file:
        file.write("".join(lines))
