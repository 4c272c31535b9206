# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The root that builds a release: a fresh Debian root of SUITES with exactly
the build's packages (or a buildinfo's pinned versions), made by mmdebstrap
with a new, empty session keyring, as root in a user namespace of ids that
own nothing here; its folder is the namespace's, its log the caller's alone.
The set is built inside it (set.py), confined (confine.py), and comes out
as regular files only. Whatever a failure shows of a log is inert."""
import ctypes, os, re, shutil, signal, tempfile, time
from documents import architectures, base, buildinfo, confine

SUITES = ("trixie", "trixie-updates", "trixie-security")
MIRROR, SECURITY = "http://deb.debian.org/debian", "http://deb.debian.org/debian-security"
TOOLS = "g++,make,cmake,dpkg-dev,rpm,file,python3"
BASE, SIZE, CLONE_NEWUSER = 1879048192, 65536, 0x10000000
HERE = os.path.dirname(os.path.abspath(__file__))
PIN = re.compile(r"([a-z0-9][a-z0-9+.-]+(:[a-z0-9][a-z0-9-]*)?) "
                 r"\(= ([0-9]+:[0-9][A-Za-z0-9.+~:-]*|[0-9][A-Za-z0-9.+~-]*)\)")
URL = re.compile(r"https?://[A-Za-z0-9._~:/?#@!$&'()*+,;=%-]+")
# apt's errors that no second try mends: a package or version that the archive does not serve.
UNRESOLVED = re.compile(r"^E: (Version '.*' for '.*' was not found|Unable to locate package |Package '.*' has "
                        r"no installation candidate|Unable to correct problems)", re.M)


def spawn(command, namespace=False, output=None, env=None, cwd="/"):
    """Forks COMMAND in CWD, in a process group of its own, with a new
    session keyring, the usual dispositions, nothing open but its output to
    the descriptor OUTPUT and /dev/null as input; with NAMESPACE as root of
    a user namespace of the ids BASE on, whose maps the caller, root, writes
    itself. Its pid."""
    ready, go = os.pipe(), os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            for number in (signal.SIGINT, signal.SIGTERM, signal.SIGPIPE, signal.SIGXFSZ):
                signal.signal(number, signal.SIG_DFL)
            os.setpgid(0, 0)
            os.dup2(os.open(os.devnull, os.O_RDONLY), 0)
            for fd in (1, 2) if output is not None else ():
                os.dup2(output, fd)
            libc = ctypes.CDLL(None, use_errno=True)
            confine.new_session_keyring(libc)
            if namespace:
                confine.call(libc.unshare(CLONE_NEWUSER), "unshare")
                os.write(ready[1], b"u")
                if os.read(go[0], 1) != b"m":
                    os._exit(125)
                os.setgroups([])
                os.setresgid(0, 0, 0)
                os.setresuid(0, 0, 0)
            os.chdir(cwd)
            os.closerange(3, os.sysconf("SC_OPEN_MAX"))
            os.execvpe(command[0], command, os.environ if env is None else env)
        except OSError as error:
            os.write(2, f"{command[0]}: {error.strerror}\n".encode())
        finally:
            os._exit(125)
    try:
        os.setpgid(pid, pid)
    except OSError:
        pass  # it has its group already, or has ended
    os.close(ready[1])
    if namespace and os.read(ready[0], 1) == b"u":
        try:
            for name in ("uid_map", "gid_map"):
                with open(f"/proc/{pid}/{name}", "w") as maps:
                    maps.write(f"0 {BASE} {SIZE}\n")
            os.write(go[1], b"m")
        except OSError as error:
            os.write(output if output is not None else 2, f"cannot map the ids {BASE} on: {error.strerror}\n".encode())
    for fd in (ready[0], go[0], go[1]):
        os.close(fd)
    return pid


def wait(pid):
    """PID's exit status; Stopped ends its whole group first: SIGTERM, two
    seconds to end as its members will (mmdebstrap cleans up), then SIGKILL."""
    try:
        return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    except base.Stopped:
        for tick in range(140):
            try:
                os.killpg(pid, signal.SIGKILL if tick == 40 else signal.SIGTERM if tick == 0 else 0)
            except ProcessLookupError:
                break
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
            time.sleep(0.05)
        raise


def probe(command, namespace):
    """Whether COMMAND succeeds where mmdebstrap will run, and what it said."""
    read, write = os.pipe()
    pid = spawn(command, namespace, write)
    os.close(write)
    with os.fdopen(read, "rb") as said:
        text = said.read()
    return wait(pid) == 0, base.inert(text).strip()


def pinned(path):
    """The pins of a buildinfo (Installed-Build-Depends), each checked as apt
    takes them, as NAME[:ARCH]=VERSION; and its latest Archive-Dates stamp."""
    try:
        with open(path, "rb") as file:
            fields = buildinfo.parse(file.read())
        lines = [line.rstrip(",") for line in buildinfo.lines(fields, "Installed-Build-Depends")]
    except (OSError, ValueError, KeyError) as error:
        raise base.Refusal(f"cannot read the pins of {path}: {error}") from None
    pins = []
    for line in lines:
        match = PIN.fullmatch(line)
        if not match:
            raise base.Refusal(f"{path} pins '{base.inert(line)}', not a Debian package and version "
                               "\"NAME[:ARCH] (= VERSION)\"")
        pins.append(f"{match.group(1)}={match.group(3)}")
    stamps = sorted(stamp for _, stamp in buildinfo.archive_dates(fields)) if "Archive-Dates" in fields else []
    return pins, lines, stamps[-1] if stamps else ""


def shown_tail(log, count=25):
    """The last COUNT lines of a log, inert."""
    return "\n".join(base.inert(log).splitlines()[-count:])


def folder(tarball, parent, owner):
    """The root's folder in PARENT, with the tarball's copy and confine.py,
    OWNER's alone."""
    roots = tempfile.mkdtemp(dir=parent)
    for path in (tarball, os.path.join(HERE, "confine.py")):
        shutil.copyfile(path, os.path.join(roots, os.path.basename(path)))
        os.chmod(os.path.join(roots, os.path.basename(path)), 0o644)
    os.mkdir(os.path.join(roots, "set"))
    for path in (roots, os.path.join(roots, "set")):
        os.chown(path, owner, owner)
    return roots


def build(tarball, revision, out, pins=None, architecture=None, mirror=MIRROR, security=SECURITY,
          suites=SUITES, epoch=None):
    """Builds the release set of TARBALL (a sigsend-VERSION.tar.gz) at
    REVISION in a fresh root and copies it into OUT, an empty folder. PINS:
    a buildinfo whose Installed-Build-Depends are installed, and must be
    exactly the root's packages."""
    name = os.path.basename(tarball)
    if not re.fullmatch(r"sigsend-[0-9A-Za-z.~+-]+\.tar\.gz", name):
        raise base.Refusal(f"{tarball} is not named sigsend-VERSION.tar.gz")
    if not os.path.isfile(tarball):
        raise base.Refusal(f"{tarball} is not a file")
    if not re.fullmatch(r"[0-9a-f]{40}", revision):
        raise base.Refusal(f"'{revision}' is not a commit id")
    for url in (mirror, security):
        if not URL.fullmatch(url):
            raise base.Refusal(f"'{url}' is not an http or https URL")
    if not os.path.isdir(out) or os.listdir(out):
        raise base.Refusal(f"{out} is not an empty folder")
    if architecture and not re.fullmatch(r"[a-z0-9][a-z0-9-]*", architecture):
        raise base.Refusal(f"'{architecture}' is not a Debian architecture")
    epoch = int(os.environ["SOURCE_DATE_EPOCH"]) if epoch is None else epoch
    pins, asked, stamp = pinned(pins) if pins else ([], [], "")
    if not shutil.which("mmdebstrap"):
        raise base.Refusal("mmdebstrap is not installed (apt-get install mmdebstrap)")
    native = architecture or base.run(["dpkg", "--print-architecture"]).strip()
    root = os.geteuid() == 0
    if root:
        works, said = probe(["true"], True)
        if not works:
            raise base.Refusal(f"no user namespaces here (a chroot or a container?): {said}")
    else:
        works, said = probe(["unshare", "--user", "--map-auto", "--map-root-user", "true"], False)
        if not works:
            raise base.Refusal("not root, and this host gives no user namespace with subordinate ids for "
                               f"mmdebstrap's unshare mode: {said}")
    owner = BASE if root else os.geteuid()
    roots = folder(tarball, os.environ.get("TMPDIR", "/tmp"), owner)
    private = tempfile.mkdtemp()
    try:
        # A TMPDIR on a path that others may not walk (under /root, say) is
        # out of the namespace's reach: the root is made in /var/tmp instead.
        if root and not probe(["test", "-w", roots, "-a", "-x", roots], True)[0]:
            shutil.rmtree(roots)
            roots = folder(tarball, "/var/tmp", owner)
            base.say(f"TMPDIR lies on a path that others may not walk; the root is made in {roots}")
            works, said = probe(["test", "-w", roots, "-a", "-x", roots], True)
            if not works:
                raise base.Refusal(f"the root's namespace (ids from {BASE} on) cannot write in {roots} either"
                                   + (f" ({said})" if said else ""))
        rows = architectures.read(os.path.join(HERE, "..", "..", "cmake", "architectures.txt"))
        packages = ",".join([TOOLS, *(f"musl-dev:{r['debian']}" + ("" if r["debian"] == native else
                             f",g++-{r['triple'].replace('_', '-')}") for r in rows), *pins])
        foreign = ",".join([native, *(r["debian"] for r in rows if r["debian"] != native)])
        tree = name[: -len(".tar.gz")]
        ready, log, setdir = os.path.join(roots, "ready"), os.path.join(private, "log"), os.path.join(roots, "set")
        inside = (f"umask 022 && cd /build && tar -xzf {name} && exec /usr/bin/python3 -I -B {tree}/scripts/documents "
                  f"set /build/set /build/{name} {revision} {' '.join(suites)}")
        environment = ["env", "-i", "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "HOME=/root", "LC_ALL=C", "TZ=UTC",
                       f"SOURCE_DATE_EPOCH={epoch}", "sh", "-c", inside]
        command = ["mmdebstrap", "--mode=unshare", "--variant=apt", "--format=null", f"--architectures={foreign}",
                   f"--include={packages}", '--customize-hook=mkdir "$1/build"',
                   f"--customize-hook=copy-in {quote(os.path.join(roots, name))} /build",
                   f"--customize-hook=touch {quote(ready)}",
                   "--customize-hook=" + quote("/usr/bin/python3", "-I", os.path.join(roots, "confine.py")) + ' "$1" '
                   + quote(*environment) + " </dev/null",
                   f"--customize-hook=sync-out /build/set {quote(setdir)}",
                   suites[0], "/dev/null", *(entry(security if suite.endswith("-security") else mirror, suite)
                                            for suite in suites)]
        base.say(f"making a Debian root ({' '.join(suites)}, {native}) for {tree}")
        started = time.time()
        # A mirror that is being synced serves files of the wrong size for a
        # while: a root that failed before it was ready is made again, up to
        # three times, unless apt found no such package or version.
        for attempt in (1, 2, 3):
            with open(log, "xb") as output:
                status = wait(spawn(command, root, output.fileno(), dict(os.environ, TMPDIR=roots), roots))
            with open(log, "rb") as output:
                said = output.read().decode(errors="replace")
            os.unlink(log)
            if status == 0:
                break
            if os.path.exists(ready):
                raise base.Refusal("the build in the root failed; its last lines:\n" + shown_tail(said))
            missing = sorted(set(re.findall(r"^E: Version '(.*)' for '(.*)' was not found$", said, re.M)))
            if missing:
                when = "the latest of the buildinfo's Archive-Dates"
                raise base.Refusal(
                    f"the archive no longer serves {', '.join(f'{p} {v}' for v, p in missing)} (apt: "
                    f"{base.inert(re.search('^E: Version.*$', said, re.M).group())}): rebuild from snapshot.debian.org "
                    "as the archive was then, with scripts/rebuild --snapshot STAMP, STAMP being the first snapshot "
                    "after "
                    f"{stamp + ' (' + when + ')' if stamp else when}: "
                    "https://snapshot.debian.org/archive/debian/ lists them")
            errors = [line for line in dict.fromkeys(re.findall(r"^E: .*$", said, re.M))
                      if not re.match(r"E: (setup failed|mmdebstrap failed to run)", line)][-8:]
            if UNRESOLVED.search(said):
                raise base.Refusal("apt cannot make the root from these packages:\n" + base.inert("\n".join(errors)))
            if attempt == 3:
                raise base.Refusal("the root could not be made (three tries); mmdebstrap said last:\n"
                                   + base.inert("\n".join(errors) or shown_tail(said, 8)))
            base.say(f"the root could not be made (try {attempt} of 3): "
                  f"{base.inert(errors[0] if errors else '')}; trying again in 20 s")
            time.sleep(20)
        base.say(f"the root was ready after {int(os.stat(ready).st_mtime - started)} s, "
              f"and built in {int(time.time() - started)} s in all")
        # What the build made comes out as regular files only, without special bits.
        odd = [made for made in os.scandir(setdir) if not made.is_file(follow_symlinks=False)
               or made.stat(follow_symlinks=False).st_mode & 0o7000]
        if odd:
            raise base.Refusal(f"the build made more than regular files in its set: "
                               f"{' '.join(base.quoted(e.name) for e in odd)}")
        for made in os.scandir(setdir):
            shutil.copy2(made.path, os.path.join(out, made.name))
        if asked:
            held = [f for f in os.listdir(out) if f.endswith(".buildinfo")]
            if not held:
                raise base.Refusal("the build wrote no buildinfo")
            with open(os.path.join(out, held[0]), "rb") as file:
                built = [line.rstrip(",") for line in buildinfo.lines(buildinfo.parse(file.read()),
                                                                       "Installed-Build-Depends")]
            if built != asked:
                differ = [f"  asked: {line}" for line in asked if line not in built]
                differ += [f"  held:  {line}" for line in built if line not in asked]
                raise base.Refusal("the root did not hold exactly the pinned packages:\n"
                                   + base.inert("\n".join(differ)))
    finally:
        shutil.rmtree(roots, ignore_errors=True)
        shutil.rmtree(private, ignore_errors=True)


def entry(url, suite):
    """A sources line; a snapshot's index files have expired by design."""
    snapshot = re.match(r"https?://snapshot\.debian\.org/", url)
    return f"deb {'[check-valid-until=no] ' if snapshot else ''}{url} {suite} main"


def quote(*words):
    """WORDS as sh reads them back."""
    return " ".join("'" + word.replace("'", "'\\''") + "'" for word in words)

