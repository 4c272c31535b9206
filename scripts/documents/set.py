# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""The release set, built inside the root from the tarball this tree was
unpacked from, into SET: each row's binary, SBOM, .deb and .rpm; one image
of them all; the notices, which all rows must agree on; the VEX; the
tarball; the buildinfo and SHA256SUMS. FILES and RELEASE name every file.
  /usr/bin/python3 -I -B scripts/documents set SET TARBALL REVISION SUITE..."""
import glob, os, re, shutil, subprocess, tempfile
from documents import architectures, base, buildinfo, oci, vex

TREE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The release's files: each row's ({platform}, {debian}, {rpm} of its row), then the release's own.
FILES = ("sigsend-{version}-linux-{platform}", "sigsend-{version}-linux-{platform}.spdx.json",
         "sigsend-{version}-linux-{platform}.cdx.json", "sigsend_{version}_{debian}.deb",
         "sigsend-{version}-1.{rpm}.rpm")
RELEASE = ("sigsend-{version}-NOTICES.txt", "sigsend-{version}.oci.tar", "sigsend-{version}.openvex.json",
           "sigsend-{version}.tar.gz", "sigsend-{version}.buildinfo")


def names(version, rows):
    """Every file of a release of VERSION, SHA256SUMS aside, in the order made."""
    return [f.format(version=version, **row) for row in rows for f in FILES] + [
        f.format(version=version) for f in RELEASE]


def main(argv):
    staging, tarball, revision, *suites = argv
    environment = [f"{k}={v}" for k, v in os.environ.items() if k not in ("PWD", "SHLVL", "_", "OLDPWD")]
    rows = architectures.read(os.path.join(TREE, "cmake", "architectures.txt"))
    os.mkdir(staging)
    version, images, documents = None, [], []
    with tempfile.TemporaryDirectory() as work:
        for row in rows:
            build = os.path.join(work, row["debian"])
            base.run(["cmake", "-S", TREE, "-B", build, "--toolchain", f"{TREE}/cmake/toolchain.cmake",
                      f"-DSIGSEND_ARCH={row['debian']}", "-DCMAKE_BUILD_TYPE=Release", "-DSIGSEND_LIBC=musl",
                      "-DBUILD_TESTING=OFF", f"-DSIGSEND_REVISION={revision}"], env=os.environ)
            base.run(["cmake", "--build", build, "--target", "sigsend"], env=os.environ)
            with open(os.path.join(build, "CPackConfig.cmake")) as file:
                built = re.search(r'^set\(CPACK_PACKAGE_VERSION "(.*)"\)$', file.read(), re.M).group(1)
            if version not in (None, built):
                raise base.Refusal(f"the build of {row['debian']} is of version {built}, not {version}")
            version = built
            notices = os.path.join(staging, f"sigsend-{version}-NOTICES.txt")
            for made, name in zip(("sigsend", "notices/sigsend.spdx.json", "notices/sigsend.cdx.json"),
                                  names(version, [row])):
                shutil.copy(os.path.join(build, made), os.path.join(staging, name))
            if not os.path.exists(notices):
                shutil.copy(os.path.join(build, "notices", "NOTICES"), notices)
            with open(notices, "rb") as one, open(os.path.join(build, "notices", "NOTICES"), "rb") as other:
                if one.read() != other.read():
                    raise base.Refusal(f"the notices of {row['debian']} differ from {rows[0]['debian']}'s")
            images.append(f"{build}=linux/{row['platform'].replace('-', '/')}")
            documents.append(os.path.join(build, "notices", "sigsend.openvex.json"))
            done = subprocess.run(["cpack", "-G", "DEB;RPM", "-B", os.path.join(build, "packages")], cwd=build,
                                  capture_output=True)
            if done.returncode != 0:
                raise base.Refusal(f"cpack failed for {row['debian']}: {base.inert(done.stdout + done.stderr)}")
            for package in sorted(glob.glob(os.path.join(build, "packages", "*.[dr][ep][bm]"))):
                shutil.copy(package, staging)
        if os.path.basename(tarball) != f"sigsend-{version}.tar.gz":
            raise base.Refusal(f"{tarball} is not the source of sigsend {version}")
        archive = os.path.join(staging, f"sigsend-{version}.oci.tar")
        oci.main([archive, version, revision, *images])
        vex.main([os.path.join(staging, f"sigsend-{version}.openvex.json"), "--image", archive, *documents])
        shutil.copy(tarball, staging)
        missing = sorted(set(names(version, rows)[:-1]) - set(os.listdir(staging)))
        if missing:
            raise base.Refusal(f"the set lacks {' '.join(missing)}")
        buildinfo.write(staging, {"version": version, "revision": revision, "epoch": int(os.environ[
            "SOURCE_DATE_EPOCH"]), "path": TREE, "environment": environment, "suites": suites,
            "architectures": [row["debian"] for row in rows]})
