# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""scripts/release OUTDIR: checks every input first (OUTDIR, TMPDIR, the
checkout, the key), then runs the stages: the tarball of the commit, the
set built from it in a fresh root, the set checked as a stranger's release
would be (its tarball the one made here, its buildinfo the commit, version
and epoch asked for), the signatures, and one rename into OUTDIR under a
lock. It runs in an environment of its own."""
import fcntl, filecmp, os, re, shutil, sys, tempfile
from documents import base, identity, root, sign, tarball, verify

HERE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KEPT = ("HOME", "TMPDIR", "SOURCE_DATE_EPOCH", "SIGSEND_SIGNING_KEY", "GNUPGHOME", "http_proxy", "https_proxy",
        "no_proxy")


def clean_environment(argv):
    """Starts again, once, with nothing of the caller's but what the release needs."""
    if os.environ.get("SIGSEND_RELEASE_ENV") == str(os.getpid()):
        return
    keep = {name: os.environ[name] for name in KEPT if name in os.environ}
    if keep.get("SIGSEND_SIGNING_KEY"):
        keep.setdefault("GNUPGHOME", os.path.join(os.environ.get("HOME", ""), ".gnupg"))
    os.execve("/usr/bin/python3", ["/usr/bin/python3", "-I", "-B", sys.argv[0], *argv],
              dict(base.ENV, SIGSEND_RELEASE_ENV=str(os.getpid()), **keep))


def outdir(out):
    """OUTDIR as an absolute path, and the folder that holds it."""
    if out.startswith("-"):
        raise base.Refusal(f"OUTDIR '{out}' starts with '-'; write ./{out}")
    if not out:
        raise base.Refusal("OUTDIR is empty")
    if os.path.islink(out) and not os.path.exists(out):
        raise base.Refusal(f"{out} is a link to nothing")
    parent = os.path.dirname(out) or "."
    if not os.path.isdir(parent):
        raise base.Refusal(f"the folder that would hold {out} does not exist")
    parent = os.path.realpath(parent)
    out = os.path.join(parent, os.path.basename(out))
    if os.path.exists(out) and not os.path.isdir(out):
        raise base.Refusal(f"{out} is not a folder")
    if os.path.exists(out) and os.listdir(out):
        raise base.Refusal(f"{out} is not empty; give a new or empty folder")
    tmp = os.environ.setdefault("TMPDIR", "/tmp")
    if not tmp.startswith("/"):
        raise base.Refusal(f"TMPDIR '{tmp}' is not an absolute path")
    if re.search(r"\s", tmp):
        raise base.Refusal(f"TMPDIR '{tmp}' holds white space; give one without")
    if not (os.path.isdir(tmp) and os.access(tmp, os.W_OK)):
        raise base.Refusal(f"TMPDIR '{tmp}' is not a folder that can be written")
    return out, parent


def commit():
    """The checkout's commit, its version and its time, once git has said that
    the tree is that commit: no change, nothing git was told to overlook."""
    try:
        top = base.git(HERE, "rev-parse", "--show-toplevel").strip()
    except base.Refusal as error:
        raise base.Refusal(f"git refuses {HERE}: {error}") from None
    if not os.path.samefile(top, HERE):
        raise base.Refusal(f"{HERE} is not a git checkout of its own (git found {top}): release from a clone")
    if base.git(HERE, "status", "--porcelain", "--untracked-files=all").strip():
        raise base.Refusal(f"{HERE} has uncommitted changes; commit or stash them first")
    hidden = [line[2:] for line in base.git(HERE, "ls-files", "-v").splitlines() if re.match(r"([a-z]|S) ", line)]
    if hidden:
        raise base.Refusal(f"{HERE} has files marked assume-unchanged or skip-worktree: {' '.join(hidden)}")
    revision = base.git(HERE, "rev-parse", "--verify", "HEAD^{commit}").strip()
    version = identity.from_cmakelists(base.git(HERE, "show", f"{revision}:CMakeLists.txt")).get("version")
    if not version:
        raise base.Refusal(f"CMakeLists.txt of {revision} names no version of sigsend")
    return revision, version, base.git(HERE, "log", "-1", "--format=%ct", revision).strip()


def checked(staging, made, revision, version, epoch):
    """Refuses a set whose tarball is not the one made here, or whose
    buildinfo names another commit, version or epoch than asked."""
    with tempfile.TemporaryDirectory() as work:
        release = verify.folder(staging, work)
        if not filecmp.cmp(release.tarball, made, shallow=False):
            tarball.check(release.tarball, HERE, revision)
            raise base.Refusal(f"the build's {os.path.basename(made)} is not the tarball of {revision} made here")
        for field, found, asked in (("Version", release.version, version), ("Git-Commit", release.revision, revision),
                                    ("SOURCE_DATE_EPOCH", release.epoch, epoch)):
            if found != asked:
                raise base.Refusal(f"the build's buildinfo gives the {field} {found}, not {asked}")
        verify.take(release, release.names)


def main(argv):
    clean_environment(argv)
    os.umask(0o022)
    if len(argv) != 1:
        print("usage: scripts/release OUTDIR", file=sys.stderr)
        return 2
    out, parent = outdir(argv[0])
    revision, version, committed = commit()
    epoch = os.environ.setdefault("SOURCE_DATE_EPOCH", committed)
    if not re.fullmatch(r"[0-9]+", epoch):
        raise base.Refusal(f"SOURCE_DATE_EPOCH is '{epoch}', not seconds")
    key = os.environ.get("SIGSEND_SIGNING_KEY")
    started = sign.check(key) if key else []
    if not shutil.which("mmdebstrap"):
        raise base.Refusal("mmdebstrap is not installed, which makes the root that builds the set")
    lock = os.open(parent, os.O_RDONLY | os.O_DIRECTORY)
    try:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise base.Refusal(f"another release is writing beside {out}, in {parent}") from None
        main.stopped = f"; {out} is as it was"
        build(out, parent, revision, version, int(epoch), key, started)
    finally:
        os.close(lock)


def build(out, parent, revision, version, epoch, key, started):
    """The stages, beside OUT, and the move into place."""
    was = os.stat(out) if os.path.exists(out) else None
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o711)  # the root's namespace walks to its folder in it
        staging = tempfile.mkdtemp(prefix=".sigsend-release.", dir=parent)
        try:
            os.chmod(staging, 0o755)
            os.environ.update(HOME=os.path.join(work, "home"), GIT_CONFIG_NOSYSTEM="1")
            os.mkdir(os.environ["HOME"])
            made = os.path.join(work, f"sigsend-{version}.tar.gz")
            tarball.make(HERE, revision, made)
            root.build(made, revision, staging, epoch=epoch)
            checked(staging, made, revision, version, epoch)
            if key:
                sign.sign(key, staging, ["SHA256SUMS", os.path.basename(made)], started)
            # Into place with one rename; an OUTDIR made, replaced or filled meanwhile is refused.
            now = os.lstat(out) if os.path.lexists(out) else None
            if (was is None) != (now is None) or was and (was.st_dev, was.st_ino) != (now.st_dev, now.st_ino):
                raise base.Refusal(f"{out} {'appeared' if was is None else 'was replaced'} while the release ran; "
                                   "the set is not moved")
            try:
                os.rename(staging, out)
            except OSError:
                raise base.Refusal(f"{out} was filled while the release ran; the set is not moved") from None
        finally:
            shutil.rmtree(staging, ignore_errors=True)
