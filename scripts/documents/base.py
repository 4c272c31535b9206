# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What every stage shares: the refusal a user reads, programs run from
argument lists in an environment of their own, a stop on SIGINT and
SIGTERM that lets each stage clean up, and bytes from outside shown inert."""
import os, signal, subprocess, sys, unicodedata

ENV = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL": "C", "TZ": "UTC"}
# git as the checks need it: every file looked at again, and no program of
# the checkout's (an fsmonitor, hooks) asked or run.
GIT = ["git", "-c", "core.fsmonitor=false", "-c", "core.checkStat=default", "-c", "core.trustctime=true",
       "-c", "core.untrackedCache=false", "-c", "core.hooksPath=/dev/null"]


class Refusal(Exception):
    """Why a command stops, as its user reads it."""


class Stopped(Exception):
    """SIGINT or SIGTERM arrived; the number is args[0]."""


def run(command, env=None, what=None, binary=False, **options):
    """COMMAND's standard output, as text unless BINARY; a failure raises
    Refusal with what it said."""
    done = subprocess.run(command, capture_output=True, env=ENV if env is None else env, **options)
    if done.returncode != 0:
        said = inert(done.stderr or done.stdout).strip()
        raise Refusal(f"{what or ' '.join(command[:2])} failed ({done.returncode}): {said}")
    return done.stdout if binary else done.stdout.decode(errors="replace")


def git(repository, *args, env=None):
    return run(GIT + ["-C", repository, *args], env=env or dict(ENV, HOME=os.environ.get("HOME", "/"),
                                                           GIT_NO_REPLACE_OBJECTS="1"))


def inert(data):
    """DATA (text or bytes) with every control, format and separator
    character but the line break and tab shown as an escape (\\x1b,
    \\u202e): output of a build or a stranger's names never act on a terminal."""
    if isinstance(data, bytes):
        data = data.decode("utf-8", "backslashreplace")
    return "".join(c if c in "\n\t" or unicodedata.category(c) not in ("Cc", "Cf", "Zl", "Zp", "Cs", "Co")
                   else f"\\x{ord(c):02x}" if ord(c) < 0x100 else f"\\u{ord(c):04x}" for c in data)


def quoted(name):
    """NAME as bash's printf %q shows it: inert, and safe to paste."""
    if all(c.isascii() and (c.isalnum() or c in "%+,-./:=@_") for c in name):
        return name
    if all(c.isprintable() for c in name):
        return "".join(c if c.isalnum() or c in "%+,-./:=@_" else "\\" + c for c in name)
    return "$'" + inert(name).replace("'", "\\'") + "'"


ME = "scripts/" + os.path.basename(sys.argv[0])


def say(text):
    """A word of progress, on stderr, from the command that runs."""
    print(f"{ME}: {inert(text)}", file=sys.stderr, flush=True)


def command(me, function, argv):
    """Runs a command's FUNCTION(ARGV): a Refusal is said on stderr, with
    status 1; SIGINT or SIGTERM stops it, once FUNCTION has cleaned up, with
    128 + the signal's number and what FUNCTION.stopped says."""
    global ME
    ME = me

    def stop(number, _):
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        raise Stopped(number)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    try:
        return function(argv) or 0
    except Refusal as error:  # which may name what a stranger chose
        print(f"{me}: {inert(str(error))}", file=sys.stderr)
        return 1
    except Stopped as stop:
        print(f"{me}: stopped by {signal.Signals(stop.args[0]).name}{getattr(function, 'stopped', '')}",
              file=sys.stderr)
        return 128 + stop.args[0]
