# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The kernel's keyrings as a process reaches them, through the keyctl and
add_key system calls (no keyutils), for tests/confinement.sh, which runs it
on the host and inside the build:

  join COMMAND...    runs COMMAND in a new session keyring of its own
  add NAME VALUE     adds the user key NAME, holding VALUE, to the session keyring
  list               each keyring reachable as @t, @p, @s, @u and @us, a line
                     each: its id and every key in it, with the value of each
                     user key that may be read

Usage: python3 tests/keyrings.py join|add|list ...
"""
import ctypes
import os
import sys

# add_key and keyctl, by machine.
CALLS = {"x86_64": (248, 250), "aarch64": (217, 219), "riscv64": (217, 219)}
RINGS = {"@t": -1, "@p": -2, "@s": -3, "@u": -4, "@us": -5}
GET_KEYRING_ID, JOIN_SESSION_KEYRING, DESCRIBE, READ = 0, 1, 6, 11
libc = ctypes.CDLL(None, use_errno=True)
libc.syscall.restype = ctypes.c_long


def call(number, *args):
    result = libc.syscall(ctypes.c_long(number), *args)
    if result < 0:
        error = ctypes.get_errno()
        raise OSError(error, os.strerror(error))
    return result


def keyctl(operation, *args):
    return call(CALLS[os.uname().machine][1], ctypes.c_long(operation), *args)


def contents(serial, operation):
    """What DESCRIBE or READ gives of the key SERIAL, as bytes."""
    size = keyctl(operation, ctypes.c_long(serial), None, ctypes.c_long(0))
    buffer = ctypes.create_string_buffer(size)
    size = min(size, keyctl(operation, ctypes.c_long(serial), buffer, ctypes.c_long(size)))
    return buffer.raw[:size]


def described(serial):
    """'TYPE NAME' of the key SERIAL, and =VALUE where it is a user key that may be read."""
    kind, _, _, _, name = contents(serial, DESCRIBE).rstrip(b"\0").decode(errors="replace").split(";", 4)
    text = f"{kind} {name}"
    if kind == "user":
        try:
            text += "=" + contents(serial, READ).decode(errors="replace")
        except OSError as error:
            text += f" (unread: {error.strerror})"
    return text


def listing():
    for ring, special in RINGS.items():
        try:
            serial = keyctl(GET_KEYRING_ID, ctypes.c_long(special), ctypes.c_long(0))
        except OSError as error:
            print(f"{ring} none ({error.strerror})")
            continue
        try:
            raw = contents(serial, READ)
            keys = [described(int.from_bytes(raw[at:at + 4], sys.byteorder, signed=True))
                    for at in range(0, len(raw), 4)]
        except OSError as error:
            keys = [f"unread ({error.strerror})"]
        print(f"{ring} {serial}: {', '.join(keys) or 'empty'}")


def main(argv):
    if os.uname().machine not in CALLS:
        print(f"keyrings: no numbers of the keyctl calls for {os.uname().machine}", file=sys.stderr)
        return 3
    if argv[:1] == ["join"] and len(argv) > 1:
        keyctl(JOIN_SESSION_KEYRING, None)
        os.execvp(argv[1], argv[1:])
    elif argv[:1] == ["add"] and len(argv) == 3:
        name, value = (text.encode() for text in argv[1:])
        print(call(CALLS[os.uname().machine][0], b"user", name, value, ctypes.c_size_t(len(value)),
                   ctypes.c_long(RINGS["@s"])))
    elif argv == ["list"]:
        listing()
    else:
        print(__doc__.rsplit("\n\n", 1)[-1].strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
