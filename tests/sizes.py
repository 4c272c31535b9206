#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""What README.md and docs/packaging.md say of the static binary's size and
layout, against binaries that a build made:
  build README GUIDE BINARY CMAKE SOURCE SCRATCH [CMAKE-ARGUMENTS...]
      BINARY, the two-segment build, is as large as the README says, in two
      loadable segments and without RELRO; the same build configured again
      in SCRATCH with SIGSEND_DISTRIBUTION_FLAGS and a distribution's
      LDFLAGS has RELRO and grows by no more pages than the guide says
  release README DIR
      every architecture's binary in the release folder DIR is as large as
      the README says
  relro BINARY
      BINARY, built with SIGSEND_DISTRIBUTION_FLAGS, has RELRO
Reads the ELF headers with its own code."""
import glob, os, re, shutil, struct, subprocess, sys

LDFLAGS = "-Wl,-z,relro,-z,now"  # Debian's hardening=+all; Fedora's are the same


def fail(said):
    sys.exit("FAILED: " + said)


def claim(path, pattern):
    """The numbers of the one sentence of PATH that PATTERN matches."""
    with open(path, encoding="utf-8") as f:
        found = re.findall(pattern, re.sub(r"\s+", " ", f.read()))
    if len(found) != 1:
        fail(f"{path} says {len(found)} times, not once, what matches '{pattern}'")
    return [int(n) for n in (found[0] if isinstance(found[0], tuple) else (found[0],))]


def segments(path):
    """The (type, alignment) of each program header of the ELF file PATH."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF":
        fail(f"{path} is no ELF file")
    wide, end = data[4] == 2, "<" if data[5] == 1 else ">"
    word = end + ("Q" if wide else "I")
    phoff, = struct.unpack_from(word, data, 32 if wide else 28)
    size, count = struct.unpack_from(end + "HH", data, 54 if wide else 42)
    return [(struct.unpack_from(end + "I", data, at)[0], struct.unpack_from(word, data, at + (48 if wide else 28))[0])
            for at in range(phoff, phoff + count * size, size)]


LOAD, RELRO = 1, 0x6474E552


def sized(readme, binaries):
    low, high = claim(readme, r"static executable of (\d+) to (\d+) KiB")
    for path in binaries:
        size = os.path.getsize(path)
        if not low * 1024 <= size <= high * 1024:
            fail(f"{path} is {size} bytes, and {readme} says {low} to {high} KiB")
    sizes = sorted(os.path.getsize(path) for path in binaries)
    print(f"ok: {len(binaries)} binaries of {sizes[0]} to {sizes[-1]} bytes, as {readme} says: {low} to {high} KiB")


if sys.argv[1:2] == ["build"] and len(sys.argv) >= 8:
    readme, guide, binary, cmake, source, scratch = sys.argv[2:8]
    sized(readme, [binary])
    perf = segments(binary)
    if [t for t, _ in perf].count(LOAD) != 2 or RELRO in [t for t, _ in perf]:
        fail(f"{binary} is not two loadable segments without RELRO: {perf}")
    print("ok: the default build is two loadable segments without RELRO")
    env = dict(os.environ, LDFLAGS=LDFLAGS)
    shutil.rmtree(scratch, ignore_errors=True)
    for command in ([cmake, "-S", source, "-B", scratch, "-DBUILD_TESTING=OFF", "-DSIGSEND_LIBC=musl",
                     "-DSIGSEND_DISTRIBUTION_FLAGS=ON"] + sys.argv[8:],
                    [cmake, "--build", scratch, "--target", "sigsend"]):
        done = subprocess.run(command, env=env, capture_output=True, text=True)
        if done.returncode != 0:
            fail(f"{' '.join(command)}: {done.stdout[-2000:]}{done.stderr[-2000:]}")
    dist = os.path.join(scratch, "sigsend")
    layout = segments(dist)
    if RELRO not in [t for t, _ in layout]:
        fail(f"{dist}, linked with SIGSEND_DISTRIBUTION_FLAGS and LDFLAGS={LDFLAGS}, has no RELRO: {layout}")
    pages, = claim(guide, r"grows by at most (\d+) pages")
    page = max(a for t, a in layout if t == LOAD)
    grown = os.path.getsize(dist) - os.path.getsize(binary)
    if grown > pages * page:
        fail(f"with SIGSEND_DISTRIBUTION_FLAGS {dist} grows by {grown} bytes, more than {pages} pages of {page}")
    print(f"ok: with SIGSEND_DISTRIBUTION_FLAGS and LDFLAGS={LDFLAGS}: RELRO, {[t for t, _ in layout].count(LOAD)} "
          f"loadable segments, {os.path.getsize(binary)} -> {os.path.getsize(dist)} bytes "
          f"({grown / page:.1f} pages of {page}; {guide} says at most {pages})")
elif sys.argv[1:2] == ["relro"] and len(sys.argv) == 3:
    if RELRO not in [t for t, _ in segments(sys.argv[2])]:
        fail(f"{sys.argv[2]}, built with SIGSEND_DISTRIBUTION_FLAGS, has no RELRO")
    print(f"ok: {sys.argv[2]} has RELRO")
elif sys.argv[1:2] == ["release"] and len(sys.argv) == 4:
    binaries = [p for p in glob.glob(os.path.join(sys.argv[3], "sigsend-*-linux-*")) if not p.endswith(".json")]
    if not binaries:
        fail(f"{sys.argv[3]} holds no binaries")
    sized(sys.argv[2], binaries)
else:
    sys.exit(__doc__)
