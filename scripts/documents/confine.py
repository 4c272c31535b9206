# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Runs COMMAND as the release's build in ROOT, sharing nothing with the
host that it could reach: no descriptor but its output, no terminal, a new
session keyring, a fresh /dev/shm in a mount namespace of its own; then
unshare gives it its own processes, network, IPC and host name with ROOT as
its /, and setpriv takes every capability for good. mmdebstrap's hook runs
it from a copy beside the root, with the standard library only:
  /usr/bin/python3 -I confine.py ROOT COMMAND [ARG...]"""
import ctypes, os, sys

CLONE_NEWNS, MS_NOSUID, MS_NODEV, MS_NOEXEC, MS_REC, MS_PRIVATE = 0x20000, 2, 4, 8, 0x4000, 0x40000
# keyctl(2) has no wrapper in the C library: its number, for each kernel.
KEYCTL = {"x86_64": 250, "aarch64": 219, "riscv64": 219, "i686": 288, "i386": 288, "armv7l": 311,
          "armv8l": 311, "ppc64le": 271, "s390x": 280}
KEYCTL_JOIN_SESSION_KEYRING = 1


def call(result, what):
    if result != 0:
        error = ctypes.get_errno()
        raise OSError(error, f"{what}: {os.strerror(error)}")


def new_session_keyring(libc):
    """Joins a new, empty session keyring, which what it runs inherits."""
    number = KEYCTL.get(os.uname().machine)
    if number is None:
        raise OSError(0, f"keyctl: no system call number is known for {os.uname().machine}")
    call(0 if libc.syscall(number, KEYCTL_JOIN_SESSION_KEYRING, None) >= 0 else 1, "keyctl")


def main(argv):
    root, command = argv[0], argv[1:]
    libc = ctypes.CDLL(None, use_errno=True)
    os.closerange(3, os.sysconf("SC_OPEN_MAX"))
    os.setsid()
    new_session_keyring(libc)
    call(libc.unshare(CLONE_NEWNS), "unshare")
    call(libc.mount(None, b"/", None, MS_REC | MS_PRIVATE, None), "mount --make-rprivate /")
    shm = os.path.join(root, "dev", "shm").encode()
    if os.path.isdir(shm):
        call(libc.mount(b"tmpfs", shm, b"tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, b"mode=1777,size=16m"),
             "mount tmpfs on /dev/shm")
    os.execvp("unshare", ["unshare", "--pid", "--fork", "--mount-proc", "--net", "--ipc", "--uts", f"--root={root}",
                          "setpriv", "--bounding-set=-all", "--inh-caps=-all", "--no-new-privs", "--", *command])


if __name__ == "__main__":
    try:
        main(sys.argv[1:])
    except OSError as error:
        print(f"the build's confinement: {error.strerror or error}", file=sys.stderr)
        sys.exit(125)
