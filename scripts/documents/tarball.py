# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The source tarball of a commit, sigsend-VERSION.tar.gz holding
sigsend-VERSION/: the commit alone, fetched into a bare repository of its
own and archived there, whatever the checkout's attributes, config, grafts
or replace refs; check() compares a tarball's every entry (name, mode, blob
id) with the commit's `git ls-tree -r`."""
import hashlib, os, re, tarfile, tempfile
from documents import base


def committed(listing):
    """The entries of `git ls-tree -r -z`: {path: (mode, object)}, a submodule's object ""."""
    entries = {}
    for entry in filter(None, listing.split(b"\0")):
        meta, path = entry.split(b"\t", 1)
        mode, kind, object_id = meta.decode().split(" ")
        entries[path.decode(errors="surrogateescape")] = (mode, object_id if kind != "commit" else "")
    return entries


def blob(content):
    return hashlib.sha1(b"blob %d\0" % len(content) + content).hexdigest()


def archived(path):
    """The tarball's entries under its one folder, as git lists them."""
    prefix = os.path.basename(path)[: -len(".tar.gz")] + "/"
    entries = {}
    with tarfile.open(path, "r:gz") as tar:
        for member in tar:
            name = member.name
            if name.rstrip("/") + "/" == prefix and member.isdir():
                continue
            if not name.startswith(prefix):
                raise base.Refusal(f"{os.path.basename(path)} holds {base.inert(name)}, outside {prefix}")
            name = name[len(prefix):].rstrip("/")
            if member.isdir():  # a submodule is an empty folder; others hold what is listed
                entries.setdefault(name, ("160000", ""))
            elif member.issym():
                entries[name] = ("120000", blob(member.linkname.encode(errors="surrogateescape")))
            elif member.isfile():
                entries[name] = ("100755" if member.mode & 0o100 else "100644", blob(tar.extractfile(member).read()))
            else:
                raise base.Refusal(f"{os.path.basename(path)} holds {base.inert(name)}, no file, link or folder")
    for name in list(entries):
        parent = name.rpartition("/")[0]
        while parent:
            if entries.get(parent) == ("160000", ""):
                del entries[parent]
            parent = parent.rpartition("/")[0]
    return entries


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
