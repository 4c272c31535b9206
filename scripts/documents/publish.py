# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""scripts/publish: checks the release folder (verify), pushes its image, signs
the index for the tag and each platform's manifest with the version and commit,
and attests each platform's SBOMs on its manifest, the VEX and the provenance
on the index, offline. Publishing again changes nothing: cosign adds no
signature twice, and each attestation replaces the one of its type."""
import json, os, re, shutil, subprocess, sys, tarfile, tempfile
from documents import architectures, base, provenance, verify

ME = "scripts/publish"
REPOSITORY = r"[a-z0-9]([a-z0-9.-]*[a-z0-9])?(:[0-9]{1,5})?(/[a-z0-9]+([._-][a-z0-9]+)*)+"
SBOMS = (("spdx", "spdxjson", "SBOM"), ("cdx", "cyclonedx", "CycloneDX SBOM"))


def refused(failure, call, *args):
    """CALL(*ARGS); a failure is refused with FAILURE and what it said."""
    try:
        return call(*args)
    except (ValueError, KeyError, IndexError, TypeError, AttributeError, RecursionError, EOFError, OSError,
            tarfile.TarError) as error:
        raise base.Refusal(f"{failure}: {base.inert(str(error))}") from None


def run(argv, what):  # the caller's environment holds the registries' logins
    base.run(argv, env=dict(os.environ, LC_ALL="C", TZ="UTC"), what=what, stdin=subprocess.DEVNULL)


def main(argv):
    keyring, flags, argv = None, set(), list(argv)
    while argv and argv[0].startswith("-"):
        option = argv.pop(0)
        if option == "--keyring" and argv:
            keyring = argv.pop(0)
        elif option in ("--unsigned", "--insecure"):
            flags.add(option)
        elif option != "--":
            argv = []
        else:
            break
    if len(argv) != 2:
        print(f"usage: {ME} --keyring FILE|--unsigned [--insecure] DIR REF", file=sys.stderr)
        return 2
    (folder, ref), unsigned, insecure = argv, "--unsigned" in flags, "--insecure" in flags
    key = os.environ.get("SIGSEND_COSIGN_KEY", "")
    # What a signing key vouches for must be known to be the signer's first.
    for wrong, message in (
            (keyring and unsigned, "--keyring and --unsigned exclude each other"),
            (not keyring and not unsigned, "no --keyring: give the release signer's public key, "
                                           "or --unsigned for a release that you built yourself"),
            (not re.fullmatch(REPOSITORY, ref),
             f"'{base.inert(ref)}' is not a repository such as registry.example.org/sigsend (no tag, no digest)"),
            (not os.path.isdir(folder), f"{folder} is not a folder"),
            (not shutil.which("cosign"), "needs cosign, which Debian 13 (trixie) packages (apt-get install "
                                         "cosign) and Debian 12 does not: publish from a Debian 13 machine or root"),
            (not shutil.which("skopeo"), "needs skopeo (apt-get install skopeo)"),
            (not key, "SIGSEND_COSIGN_KEY names no cosign key "
                      "(a file that cosign generate-key-pair wrote, or a KMS URI)"),
            (key.startswith("-"), f"SIGSEND_COSIGN_KEY '{key}' starts with '-'"),
            ("://" not in key and not os.access(key, os.R_OK), f"cannot read the cosign key {key}"),
            (keyring and not shutil.which("gpgv"), "needs gpgv to check the signature (apt-get install gpgv)"),
            (keyring and not os.access(keyring, os.R_OK), f"cannot read the keyring {keyring}")):
        if wrong:
            raise base.Refusal(message)
    os.umask(0o077)
    with tempfile.TemporaryDirectory() as work:
        release = verify.folder(folder, work, keyring and os.path.realpath(keyring))  # a bare name is GNUPGHOME's
        print(f"{ME}: SHA256SUMS is signed by a key of {keyring}" if keyring else
              f"{ME}: --unsigned: the signature of SHA256SUMS was NOT checked; "
              "every file is checked against SHA256SUMS only")
        push(release, ref, key, insecure, *plan(release))


def plan(release):
    """What is published of RELEASE (verify.folder's): the archive's path, the
    index's digest, [(platform, digest)], [(attestation type, path, digest)]."""
    version = release.version
    if not re.fullmatch(r"[A-Za-z0-9_][A-Za-z0-9_.-]{0,127}", version):
        raise base.Refusal(f"the version '{version}' cannot be a tag")
    # The image, the VEX and every SBOM, named as the release names them.
    archive, vex = f"sigsend-{version}.oci.tar", f"sigsend-{version}.openvex.json"
    sboms = {suffix: [name for name in release.names if re.fullmatch(
        rf"sigsend-{re.escape(version)}-linux-[a-z0-9]+(-[a-z0-9]+)?\.{suffix}\.json", name)] for suffix, _, _ in SBOMS}
    if not sboms["spdx"]:
        raise base.Refusal(f"SHA256SUMS lists no SBOM of sigsend {version}")
    paths = verify.take(release, [archive, vex, *sboms["spdx"], *sboms["cdx"]])
    (_, index), *platforms = refused(f"{archive} is not an image archive", provenance.manifests, paths[archive])
    # linux-arm-v7 is linux/arm/v7's: every platform needs its SBOM (and its
    # CycloneDX one, if the release has any), and none may be left over.
    attestations = []
    for suffix, kind, what in SBOMS:
        for platform, digest in platforms if sboms[suffix] else ():
            name = f"sigsend-{version}-{platform.replace('/', '-')}.{suffix}.json"
            if name not in sboms[suffix]:
                raise base.Refusal(f"the release has no {what} for {archive}'s {platform} image")
            attestations.append((kind, paths[name], digest))
        if sboms[suffix] and len(sboms[suffix]) != len(platforms):
            raise base.Refusal(f"the release has {len(sboms[suffix])} {what}s for the {len(platforms)} "
                               f"platforms of {archive}")
    predicate = refused("could not make the provenance from the buildinfo", provenance.make, release.buildinfo,
                        release.tarball, {row["debian"] for row in architectures.read(verify.TABLE)})
    with open(os.path.join(release.work, "provenance.json"), "x", encoding="utf-8") as file:
        json.dump(predicate, file, indent=2, sort_keys=True)
    return paths[archive], index, platforms, attestations + [
        ("openvex", paths[vex], index), ("slsaprovenance1", file.name, index)]


def push(release, ref, key, insecure, archive, index, platforms, attestations):
    """Pushes the archive, keeping every digest, then signs and attests."""
    version, name, pushed = release.version, os.path.basename(archive), os.path.join(release.work, "pushed")
    tag = f"{ref}:{version}"
    run(["skopeo", "copy", "--quiet", "--all", "--preserve-digests", *["--dest-tls-verify=false"] * insecure,
         "--digestfile", pushed, f"oci-archive:{archive}", f"docker://{tag}"], f"skopeo's push of {name} to {tag}")
    with open(pushed, encoding="utf-8") as file:
        if (got := file.read().strip()) != index:
            raise base.Refusal(f"{tag} is {base.inert(got)}, not the release's index {index}")
    print(f"{ME}: pushed {tag} = {ref}@{index} ({len(platforms)} platforms)")

    # The identity (which containers/image compares with the tag pulled) and the
    # annotations (cosign verify -a) bind the tag, the version and the commit;
    # only the index's has the tag's name. docs/registry.md checks them.
    cosign = lambda verb, *args: run(["cosign", verb, "--yes", "--tlog-upload=false", f"--key={key}", *[
        "--allow-insecure-registry", "--allow-http-registry"] * insecure, *args], f"cosign {verb} of {args[-1]}")
    bound = [f"--sign-container-identity={tag}", f"--annotations=org.opencontainers.image.version={version}",
             f"--annotations=org.opencontainers.image.revision={release.revision}"]
    cosign("sign", *bound, f"--annotations=org.opencontainers.image.ref.name={version}", "--", f"{ref}@{index}")
    cosign("sign", *bound, "--", *(f"{ref}@{digest}" for _, digest in platforms))
    print(f"{ME}: signed the index for {tag} and its {len(platforms)} platform manifests, "
          f"with the commit {release.revision}")
    for kind, path, digest in attestations:
        cosign("attest", "--replace", f"--type={kind}", f"--predicate={path}", "--", f"{ref}@{digest}")
    print(f"{ME}: attested each platform's SBOMs on its manifest, the VEX and the SLSA provenance on the index")
    print(f"{ref}@{index}")
