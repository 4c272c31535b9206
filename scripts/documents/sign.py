# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The release's signatures, by the signer's GnuPG key: checked before the
build, made after it, outside the root; no daemon that the release started
runs while the set is built, nor after."""
import os, stat, subprocess
from documents import base

DAEMONS = ("gpg-agent", "dirmngr", "keyboxd")


def running(daemon):
    """Whether DAEMON answers on its socket."""
    done = subprocess.run(["gpgconf", "--list-dirs", daemon.removeprefix("gpg-") + "-socket"], capture_output=True,
                          text=True)
    socket = done.stdout.strip()
    if done.returncode != 0 or not socket or not os.path.exists(socket) or not stat.S_ISSOCK(os.stat(socket).st_mode):
        return False
    asked = subprocess.run(["gpg-connect-agent", "--no-autostart", "-S", socket, "getinfo pid", "/bye"],
                           capture_output=True, text=True)
    return any(line.startswith("D ") for line in asked.stdout.splitlines())


def stop(started):
    """Stops the daemons that the release STARTED."""
    for daemon in ["all"] if list(started) == list(DAEMONS) else started:
        subprocess.run(["gpgconf", "--kill", daemon], capture_output=True)


def check(key):
    """Refuses a KEY that cannot sign; the daemons that were not running."""
    started = [daemon for daemon in DAEMONS if not running(daemon)]
    done = subprocess.run(["gpg", "--batch", "--no-tty", "--local-user", key, "--detach-sign"], input=b"test",
                          capture_output=True)
    stop(started)
    if done.returncode != 0:
        raise base.Refusal(f"the key '{key}' cannot sign (GNUPGHOME {os.environ.get('GNUPGHOME')}): "
                           + base.inert(done.stderr).strip())
    return started


def sign(key, folder, names, started):
    """Signs each of NAMES in FOLDER into a detached armoured NAME.asc."""
    try:
        for name in names:
            path = os.path.join(folder, name)
            if subprocess.run(["gpg", "--batch", "--no-tty", "--quiet", "--local-user", key, "--armor",
                               "--detach-sign", "--output", path + ".asc", path]).returncode != 0:
                raise base.Refusal(f"the key '{key}' did not sign {name}")
    finally:
        stop(started)
