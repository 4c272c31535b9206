# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The package's commands for what is not Python: /usr/bin/python3 -I -B
scripts/documents COMMAND ARGS... A refusal prints its reason on stderr and
exits 1.

  architectures COLUMN...   the named columns of every row of
                            cmake/architectures.txt, one row a line
  notices OUTDIR BINARY MAP VERSION REVISION COMPILER LICENSE HOMEPAGE DESCRIPTION
                            a build's documents, for CMake (build.py)
  set SET TARBALL REVISION SUITE...
                            the release set, inside the root (set.py)
  tarball REPOSITORY REVISION TARBALL
                            the source tarball of a commit (tarball.py)
  files VERSION             every file of a release of VERSION but SHA256SUMS,
                            one a line (set.py)
  builder [--pins BUILDINFO] [--architecture A] [--mirror URL]
          [--security-mirror URL] TARBALL REVISION SET
                            the root's build alone, into SET (root.py)
"""
import argparse, os, sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from documents import architectures, base, build, root, set as release_set, tarball  # noqa: E402

TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "architectures.txt")


def columns(args):
    if not args:
        raise ValueError("architectures: name the columns to print")
    sys.stdout.write(architectures.columns(architectures.read(TABLE), args))


def builder(args):
    parser = argparse.ArgumentParser(prog="documents builder")
    for option in ("--pins", "--architecture", "--mirror", "--security-mirror"):
        parser.add_argument(option)
    for name in ("tarball", "revision", "set"):
        parser.add_argument(name)
    o = parser.parse_args(args)
    mirrors = {k: v for k, v in (("mirror", o.mirror), ("security", o.security_mirror)) if v}
    root.build(os.path.abspath(o.tarball), o.revision, os.path.abspath(o.set), pins=o.pins and os.path.abspath(o.pins),
               architecture=o.architecture, **mirrors)


def files(args):
    sys.stdout.write("".join(name + "\n" for name in release_set.names(args[0], architectures.read(TABLE))))


COMMANDS = {"architectures": columns, "files": files, "tarball": lambda args: tarball.make(*args),
            "notices": build.main, "set": release_set.main, "builder": builder}


def main(argv):
    if not argv or argv[0] not in COMMANDS:
        print(f"usage: documents {'|'.join(COMMANDS)} ARGS...", file=sys.stderr)
        return 2
    if argv[0] == "builder":
        return base.command("scripts/builder", COMMANDS["builder"], argv[1:])
    try:
        COMMANDS[argv[0]](argv[1:])
    except (ValueError, OSError, base.Refusal) as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
