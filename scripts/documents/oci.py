# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
"""An OCI image layout whose one reference, the tag VERSION, names a
multi-platform index: for each build one image FROM scratch that holds its
sigsend as /sigsend, mode 0755, its entrypoint, and its NOTICES,
sigsend.spdx.json, sigsend.cdx.json and sigsend.openvex.json under
/usr/share/doc/sigsend/,
mode 0644, all owned by 0:0. The index, each manifest and each image's
configuration (as Labels) say what it is: the project's source, url and
description from the identity that the builds wrote (CMake's project()),
the version, the revision and the licences: each image's are its own
SBOM's expression, and the index's names every licence of them all. Every
byte comes from the builds, the version, the revision and SOURCE_DATE_EPOCH,
so the same input gives the same digests anywhere. The JSON documents are
made here; GNU tar and gzip pack the layers and the archive, as always."""
import hashlib, json, os, shutil, subprocess, tempfile, time
from documents import identity

PREFIX = "application/vnd.oci.image."


def dumps(document):
    """A blob's bytes: compact JSON, members in the order written, one line."""
    return (json.dumps(document, separators=(",", ":"), ensure_ascii=False) + "\n").encode()


def descriptor(media_type, data, **extra):
    """The descriptor of a blob of DATA, with EXTRA's members after the digest and size."""
    return {"mediaType": PREFIX + media_type, "digest": "sha256:" + hashlib.sha256(data).hexdigest(),
            "size": len(data), **extra}


def platform(text):
    """linux/arm/v7 -> {architecture, os, variant}."""
    os_, arch, *variant = text.split("/")
    return {"architecture": arch, "os": os_, **({"variant": variant[0]} if variant else {})}


def annotations(project, created, licenses):
    """What an index or an image says of itself: PROJECT is a build's
    identity (identity.py), LICENSES an SPDX expression."""
    key = "org.opencontainers.image."
    return {key + "created": created, key + "licenses": licenses, key + "title": project["name"],
            key + "version": project["version"], key + "revision": project["revision"],
            key + "source": project["homepage"], key + "url": project["homepage"],
            key + "description": project["description"]}


def expression(expressions):
    """Every term of every expression joined by AND, each once, in the order first met."""
    return " AND ".join(dict.fromkeys(t for e in expressions for t in e.split(" AND ")))


def config(created, where, diff_id, labels):
    return dumps({"created": created, **where, "config": {"Entrypoint": ["/sigsend"], "Labels": labels},
                  "rootfs": {"type": "layers", "diff_ids": [diff_id]}})


def manifest(config_descriptor, layer_descriptor, annotated):
    return dumps({"schemaVersion": 2, "mediaType": PREFIX + "manifest.v1+json", "config": config_descriptor,
                  "layers": [layer_descriptor], "annotations": annotated})


def index(manifests, annotated):
    return dumps({"schemaVersion": 2, "mediaType": PREFIX + "index.v1+json", "manifests": manifests,
                  "annotations": annotated})


def layout(images, project, created):
    """The layout's files by path: IMAGES is [(platform text, layer tar,
    layer tar.gz, licences)], PROJECT the builds' identity."""
    blobs, manifests = {}, []

    def blob(media_type, data, **extra):
        found = descriptor(media_type, data, **extra)
        blobs["blobs/sha256/" + found["digest"][len("sha256:"):]] = data
        return found
    for where, tar, gz, licenses in images:
        place, said = platform(where), annotations(project, created, licenses)
        layer = blob("layer.v1.tar+gzip", gz)
        conf = blob("config.v1+json", config(created, place, "sha256:" + hashlib.sha256(tar).hexdigest(),
                                             said))
        manifests.append(blob("manifest.v1+json", manifest(conf, layer, said), platform=place))
    top = blob("index.v1+json", index(manifests, annotations(
        project, created, expression(i[3] for i in images))),
        # A tag alone, as oras, skopeo and umoci read ref.name; podman and
        # containerd name the image after io.containerd.image.name.
        annotations={"io.containerd.image.name": f"localhost/sigsend:{project['version']}",
                     "org.opencontainers.image.ref.name": project["version"]})
    return dict(blobs, **{"index.json": dumps({"schemaVersion": 2, "mediaType": PREFIX + "index.v1+json",
                                               "manifests": [top]}),
                          "oci-layout": dumps({"imageLayoutVersion": "1.0.0"})})


def tar(folder, epoch, names, mode=None):
    """A reproducible ustar archive of NAMES in FOLDER, by GNU tar."""
    command = ["tar", "-C", folder, "--create", "--format=ustar", "--sort=name", f"--mtime=@{epoch}",
               "--owner=0", "--group=0", "--numeric-owner"] + ([f"--mode={mode}"] if mode else []) + names
    return subprocess.run(command, capture_output=True, check=True, env=dict(os.environ, LC_ALL="C")).stdout


def main(args):
    """oci-image ARCHIVE VERSION REVISION BUILD=PLATFORM..."""
    if len(args) < 4:
        raise ValueError("usage: oci-image ARCHIVE VERSION REVISION BUILD=PLATFORM...")
    archive, version, revision, *pairs = args
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    created = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch))
    images = []
    project = identity.agreed([identity.read(os.path.join(p.split("=", 1)[0], "notices")) for p in pairs],
                              "the image")
    if (project["version"], project["revision"]) != (version, revision):
        raise ValueError(f"the builds are of version {project['version']}, revision "
                         f"{project['revision'] or 'unrecorded'}, not {version}, {revision or 'unrecorded'}")
    with tempfile.TemporaryDirectory() as work:
        for pair in pairs:
            build, where = pair.split("=", 1)
            root = tempfile.mkdtemp(dir=work)
            docs = os.path.join(root, "usr", "share", "doc", "sigsend")
            os.makedirs(docs)
            shutil.copyfile(os.path.join(build, "sigsend"), os.path.join(root, "sigsend"))
            os.chmod(os.path.join(root, "sigsend"), 0o755)
            for name in ("NOTICES", "sigsend.spdx.json", "sigsend.cdx.json", "sigsend.openvex.json"):
                shutil.copyfile(os.path.join(build, "notices", name), os.path.join(docs, name))
                os.chmod(os.path.join(docs, name), 0o644)
            with open(os.path.join(build, "notices", "sigsend.spdx.json")) as f:
                licenses = json.load(f)["packages"][0]["licenseConcluded"]
            layer = tar(root, epoch, ["sigsend", "usr"], mode="u=rwX,go=rX")
            gz = subprocess.run(["gzip", "-9n"], input=layer, capture_output=True, check=True).stdout
            images.append((where, layer, gz, licenses))
        out = os.path.join(work, "layout")
        for path, data in layout(images, project, created).items():
            os.makedirs(os.path.dirname(os.path.join(out, path)), mode=0o755, exist_ok=True)
            with open(os.path.join(out, path), "wb") as f:
                f.write(data)
            os.chmod(os.path.join(out, path), 0o644)
        for folder in ("", "blobs", "blobs/sha256"):
            os.chmod(os.path.join(out, folder), 0o755)
        data = tar(out, epoch, ["oci-layout", "index.json", "blobs"])
    with open(archive, "wb") as f:
        f.write(data)
    return 0
