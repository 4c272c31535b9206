# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The source tarball of a commit, sigsend-VERSION.tar.gz holding
sigsend-VERSION/: the commit alone, fetched into a bare repository of its
own and archived there, whatever the checkout's attributes, config, grafts
or replace refs; check() compares a tarball's every entry (name, mode, blob
id) with the commit's `git ls-tree -r`."""
import hashlib, io, os, re, tarfile, tempfile, zlib
from documents import base


def committed(listing):
    """The entries of `git ls-tree -r -z`: {path: (mode, object)}, a submodule's object ""."""
    entries = {}
    for entry in filter(None, listing.split(b"\0")):
        meta, path = entry.split(b"\t", 1)
        mode, kind, object_id = meta.decode().split(" ")
        entries[path.decode(errors="surrogateescape")] = (mode, object_id if kind != "commit" else "")
    return entries


def blob(reading, size):
    """The git blob id of SIZE bytes read from READING, a chunk at a time."""
    digest = hashlib.sha1(b"blob %d\0" % size)
    while chunk := reading.read(1 << 20):
        digest.update(chunk)
    return digest.hexdigest()


def archived(path):
    """The tarball's entries under its one folder, as git lists them. Each
    name may stand once, and the whole may unpack to no more than 64 times
    the tarball's size: what tar would unpack is what is compared."""
    name, prefix = os.path.basename(path), os.path.basename(path)[: -len(".tar.gz")] + "/"
    entries, folders, left = {}, set(), 64 * os.path.getsize(path) + (1 << 20)
    try:
        with tarfile.open(path, "r:gz") as tar:
            for member in tar:
                entry = member.name.rstrip("/")
                if entry + "/" == prefix and member.isdir():
                    continue
                if not member.name.startswith(prefix):
                    raise base.Refusal(f"{name} holds {base.inert(member.name)}, outside {prefix}")
                entry, left = entry[len(prefix):], left - member.size
                if entry in entries or entry in folders or left < 0:
                    raise base.Refusal(f"{name} holds {base.inert(entry)} twice, or unpacks to too much")
                if member.isdir():
                    folders.add(entry)
                elif member.issym():
                    data = member.linkname.encode(errors="surrogateescape")
                    entries[entry] = ("120000", blob(io.BytesIO(data), len(data)))
                elif member.isfile():
                    entries[entry] = ("100755" if member.mode & 0o100 else "100644",
                                      blob(tar.extractfile(member), member.size))
                else:
                    raise base.Refusal(f"{name} holds {base.inert(entry)}, no file, link or folder")
    except (tarfile.TarError, EOFError, OSError, zlib.error) as error:
        raise base.Refusal(f"{name} is not a gzipped tar: {base.inert(str(error))}") from None
    # A folder that holds nothing listed is a submodule, as git archive writes one.
    held = {parent for entry in entries for parent in parents(entry)}
    return dict(entries, **{folder: ("160000", "") for folder in folders - held})


def parents(entry):
    while "/" in entry:
        entry = entry.rpartition("/")[0]
        yield entry


def check(path, repository, revision):
    """Refuses the tarball PATH unless its entries are the tree of REVISION
    in REPOSITORY, naming what differs."""
    try:
        base.git(repository, "cat-file", "-e", f"{revision}^{{commit}}")
    except base.Refusal:
        raise base.Refusal(f"the checkout {repository} does not hold the commit {revision}") from None
    expected = committed(base.run(base.GIT + ["-C", repository, "ls-tree", "-r", "-z", "--full-tree", revision],
                                  env=dict(base.ENV, GIT_NO_REPLACE_OBJECTS="1", HOME="/"), binary=True))
    found = archived(path)
    differences = [f"  not in the tarball: {name}" for name in sorted(expected.keys() - found.keys())]
    differences += [f"  not in the commit:  {name}" for name in sorted(found.keys() - expected.keys())]
    differences += [f"  differs:            {name}" for name in sorted(expected.keys() & found.keys())
                    if expected[name] != found[name]]
    if differences:
        raise base.Refusal(f"{os.path.basename(path)} is not the source of commit {revision}:\n"
                           + base.inert("\n".join(differences[:20])))


def make(repository, revision, path):
    """Writes PATH, the tarball of REVISION of REPOSITORY, and checks it."""
    if not re.fullmatch(r"[0-9a-f]{40}", revision):
        raise base.Refusal(f"'{revision}' is not a commit id")
    if not re.fullmatch(r"[0-9A-Za-z][0-9A-Za-z.~+-]*\.tar\.gz", os.path.basename(path)):
        raise base.Refusal(f"{path} is not named NAME.tar.gz")
    repository = os.path.abspath(repository)
    with tempfile.TemporaryDirectory() as work:
        config = os.path.join(work, "gitconfig")
        with open(config, "w") as settings:  # the caller has checked the checkout, whoever owns it
            settings.write("".join(f"[safe]\n\tdirectory = {place}\n" for place in (repository, repository + "/.git")))
        bare = os.path.join(work, "source.git")
        env = dict(base.ENV, HOME=work, GIT_CONFIG_NOSYSTEM="1", GIT_CONFIG_GLOBAL=config, GIT_ATTR_NOSYSTEM="1",
                   GIT_NO_REPLACE_OBJECTS="1")
        base.run(["git", "init", "-q", "--bare", bare], env=env)
        env["GIT_DIR"] = bare
        # The commit alone: what upload-pack sends is the objects as they are.
        base.run(["git", "fetch", "-q", "--no-tags", "--depth=1", repository, revision], env=env)
        got = base.run(["git", "rev-parse", "--verify", "FETCH_HEAD^{commit}"], env=env).strip()
        if got != revision:
            raise base.Refusal(f"fetched {got} from {repository}, not {revision}")
        prefix = os.path.basename(path)[: -len(".tar.gz")] + "/"
        archive = base.run(["git", "-c", "core.autocrlf=false", "-c", "core.eol=lf", "-c",
                            "core.attributesFile=/dev/null", "-c", "tar.umask=0002", "archive", "--format=tar",
                            f"--prefix={prefix}", revision], env=env, binary=True)
        with open(path, "wb") as out:
            out.write(base.run(["gzip", "-9n"], input=archive, binary=True))
        try:
            check(path, bare, revision)
        except base.Refusal as error:
            os.unlink(path)
            raise base.Refusal(f"{error}\n(export-ignore or export-subst in its .gitattributes?)") from None
