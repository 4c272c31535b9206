# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""scripts/rebuild: rebuilds a downloaded release from its own buildinfo and
source tarball, in the root that the buildinfo records, and compares every
file. It vouches for the release that its user asked for: the commit of the
trusted checkout it runs from (or --commit, --version), whose tree the
tarball must be entry for entry."""
import argparse, os, re, shutil, tempfile
from documents import base, compare, root, tarball, verify

HERE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SNAPSHOT = "https://snapshot.debian.org/archive/"


def checkout(options):
    """The commit of this tree's checkout, or None with --no-checkout."""
    try:
        top = base.git(HERE, "rev-parse", "--show-toplevel").strip()
        head = base.git(HERE, "rev-parse", "--verify", "HEAD^{commit}").strip()
        said = None if os.path.samefile(top, HERE) else f"git found {top}"
    except base.Refusal as error:
        said = str(error)
    if said and not options.no_checkout:
        raise base.Refusal(f"{HERE} is not a git checkout of its own ({said}), so no commit can vouch for the "
                           "release's tarball: run rebuild from a checkout of the release's commit that you "
                           "trust, or say --no-checkout")
    return None if said else head


def main(argv):
    parser = argparse.ArgumentParser(prog="scripts/rebuild", allow_abbrev=False)
    for option in ("--keyring", "--snapshot", "--mirror", "--security-mirror", "--keep", "--against", "--commit",
                   "--version"):
        parser.add_argument(option)
    parser.add_argument("--unsigned", action="store_true")
    parser.add_argument("--no-checkout", action="store_true")
    parser.add_argument("dir")
    o = parser.parse_args(argv)
    # Nothing of DIR is read before it is known how SHA256SUMS is trusted.
    keep = o.keep and os.path.dirname(os.path.abspath(o.keep))
    for wrong, why in (
            (o.keyring and o.unsigned, "--keyring and --unsigned exclude each other"),
            (not (o.keyring or o.unsigned), "no --keyring: give the signer's public key (see the README's "
             "\"Checking a release\"), or --unsigned for a release that you built yourself"),
            (o.keep and o.against, "--keep and --against exclude each other"),
            (o.snapshot and not re.fullmatch(r"[0-9]{8}T[0-9]{6}Z", o.snapshot),
             f"--snapshot takes a time such as 20261210T000000Z, not '{o.snapshot}'"),
            (o.commit and not re.fullmatch(r"[0-9a-f]{40}", o.commit),
             f"--commit takes a whole commit id, not '{o.commit}'"),
            (o.keyring and not os.access(o.keyring, os.R_OK), f"cannot read the keyring {o.keyring}"),
            (not os.path.isdir(o.dir), f"{o.dir} is not a folder"),
            (o.keep and os.path.lexists(o.keep), f"{o.keep} exists; --keep takes a new folder"),
            (keep and not os.path.isdir(keep), f"the folder that would hold {o.keep} does not exist"),
            (o.against and not os.path.isdir(o.against), f"{o.against} is not a folder"),
            (not os.path.isabs(os.environ.get("TMPDIR", "/")) or not os.path.isdir(os.environ.get("TMPDIR", "/")),
             f"TMPDIR '{os.environ.get('TMPDIR')}' is not an absolute path to a folder")):
        if wrong:
            raise base.Refusal(why)
    head = checkout(o)
    source = os.path.abspath(o.dir)
    main.stopped = f"; {o.keep} was not made" if o.keep else ""
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o711)  # for a root made in a user namespace
        release = verify.folder(source, work,
                                keyring=o.keyring and os.path.abspath(o.keyring))
        if o.unsigned:
            base.say(f"--unsigned: no signature was checked, so nothing says who made {source}")
        wanted = o.commit or (None if o.version else head)
        if o.version and release.version != o.version:
            raise base.Refusal(f"you asked for sigsend {o.version}, and {source} holds sigsend {release.version}")
        if wanted and release.revision != wanted:
            raise base.Refusal(f"{source} is a release of commit {release.revision}, not of {wanted}, "
                               + ("the commit you asked for" if o.commit else f"the commit of this checkout {HERE}")
                               + ": rebuild from a checkout of the commit you want, or name it with --commit")
        if head is None:
            base.say("--no-checkout: the tarball was not compared with any commit")
        else:
            tarball.check(release.tarball, HERE, release.revision)
        verify.take(release, release.names, present=True)
        rebuilt = o.against and os.path.abspath(o.against)
        if not rebuilt:
            base.say(f"rebuilding sigsend {release.version}, commit {release.revision}, "
                     "in the root its buildinfo records")
            # The set is made beside OUT and renamed into place at the end.
            rebuilt = tempfile.mkdtemp(prefix=".sigsend-rebuild.", dir=keep or work)
        try:
            if not o.against:
                os.chmod(rebuilt, 0o755)
                mirrors = {"mirror": SNAPSHOT + "debian/" + o.snapshot,
                           "security": SNAPSHOT + "debian-security/" + o.snapshot} if o.snapshot else {}
                mirrors.update({k: v for k, v in (("mirror", o.mirror), ("security", o.security_mirror)) if v})
                root.build(release.tarball, release.revision, rebuilt, pins=release.pins,
                           architecture=release.architecture, suites=release.suites, epoch=release.epoch, **mirrors)
            compare.regular(rebuilt, release.names)
            lines, differ = compare.compare(release.names, release.work, rebuilt, source)
            print("\n".join(lines), flush=True)
            if o.keep:
                if os.path.lexists(o.keep):
                    raise base.Refusal(f"{o.keep} appeared while the rebuild ran; the set is left out")
                os.rename(rebuilt, o.keep)
                base.say(f"the rebuilt set is in {o.keep}")
        finally:
            if o.keep and os.path.lexists(rebuilt):
                shutil.rmtree(rebuilt, ignore_errors=True)
    if differ:
        raise base.Refusal(f"the release in {source} is not what its source and buildinfo build")
    print(f"scripts/rebuild: every file of {source} is what its source and buildinfo build")
