#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# scripts/publish of the release in DIR to a registry of the test's own
# (label registry), checked with the tools that users check with. Debian's
# docker-registry serves 127.0.0.1 on a free port, from a config file and
# storage in SCRATCH. The release is published there twice with a
# throwaway cosign key; then cosign verifies the signature of the tag and
# of every platform's manifest, and each attestation: every platform's SBOM
# and the VEX must be the release's own documents, the provenance must name
# the tarball by its SHA-256, a builder and a build type. The policy, the
# registries.d entry and the check of the tag are read from docs/registry.md,
# so what it says is what is tested. Under that policy skopeo and podman must
# take the image and refuse an unsigned one, in the repository or another;
# that check and the policy must refuse the tag moved to an older release's
# signed index, and the check a tag moved to a platform's manifest. A copy of DIR
# with one file changed, or whose SHA256SUMS does not list the image or the
# VEX, must be refused before anything is pushed, and with KEYRING (the
# signer's keyring) so must an altered SHA256SUMS.
#
# oras must take the image layout by the release's tag. cosign and skopeo
# with sigstore support, and oras, are Debian 13's: where they are
# not installed (Debian 12), everything but the registry runs in a Debian
# 13 root that mmdebstrap makes, which shares this host's network. Prints "ok:" lines with the results, or
# "skipped:" and why; the registry and every file go at the end.
# Usage: tests/registry.sh DIR SCRATCH [KEYRING]
set -euo pipefail
fail() { echo "FAILED: $*" >&2; exit 1; }
# A case that fails says so and lets the others run; the test fails at the end.
failed=""
flunk() { echo "FAILED: $*" >&2; failed=yes; }
started=$SECONDS

# Inside: publishes to the registry at ADDRESS and checks what it holds.
inside() { # ADDRESS DIR WORK SOURCE [KEYRING]
	local address=$1 dir=$2 work=$3 source=$4 keyring=${5:-}
	local ref=$address/sigsend python=/usr/bin/python3
	export HOME=$work/home COSIGN_PASSWORD=throwaway PODMAN_IGNORE_CGROUPSV1_WARNING=1
	mkdir -p "$HOME"
	cosign generate-key-pair --output-key-prefix "$work/cosign" >/dev/null 2>&1 || fail "cosign generate-key-pair failed"
	local publish=("$source/scripts/publish" --insecure)
	if [ -n "$keyring" ]; then publish+=(--keyring "$keyring"); else publish+=(--unsigned); fi
	! said=$("$source/scripts/publish" --insecure "$dir" "$address/unchecked" 2>&1) ||
		fail "publish went on with neither --keyring nor --unsigned: $said"
	echo "ok: refused with neither --keyring nor --unsigned: $said"
	export SIGSEND_COSIGN_KEY=$work/cosign.key

	# The image's digests, read from the archive here (never by the code
	# under test): "index DIGEST", then "linux-arm-v7 DIGEST" for each image.
	local archive version
	archive=$(cd "$dir" && compgen -G 'sigsend-*.oci.tar') || fail "$dir holds no image archive"
	version=${archive#sigsend-} version=${version%.oci.tar}
	local digests
	digests=$("$python" -I - "$dir/$archive" <<'EOF'
import json, sys, tarfile
with tarfile.open(sys.argv[1]) as layout:
    read = lambda name: json.load(layout.extractfile(name))
    index = read("index.json")["manifests"][0]["digest"]
    print("index", index)
    for manifest in read("blobs/sha256/" + index[7:])["manifests"]:
        p = manifest["platform"]
        print("-".join(filter(None, (p["os"], p["architecture"], p.get("variant")))), manifest["digest"])
EOF
) || fail "cannot read the digests of $archive"
	local index commit
	index=$(sed -n 's/^index //p' <<<"$digests")
	commit=$(sed -n 's/^Git-Commit: //p' "$dir/sigsend-$version.buildinfo")
	# Another image of the same platforms, in an OCI layout OUT: the
	# release's with VERSION in the annotations of the index and of each
	# manifest, so that every digest differs. Prints the index's digest, then
	# the manifests'.
	variant() { # VERSION OUT
		"$python" -I - "$dir/$archive" "$2" "$1" <<'EOF'
import hashlib, json, sys, tarfile
archive, out, version = sys.argv[1:]
with tarfile.open(archive) as layout:
    layout.extractall(out, filter="data")
def read(digest):
    with open(f"{out}/blobs/sha256/{digest[7:]}", "rb") as file:
        return json.load(file)
def write(document, entry):
    document.setdefault("annotations", {})["org.opencontainers.image.version"] = version
    data = json.dumps(document).encode()
    entry["digest"], entry["size"] = "sha256:" + hashlib.sha256(data).hexdigest(), len(data)
    with open(f"{out}/blobs/sha256/{entry['digest'][7:]}", "wb") as file:
        file.write(data)
with open(f"{out}/index.json", encoding="utf-8") as file:
    top = json.load(file)
index = read(top["manifests"][0]["digest"])
for entry in index["manifests"]:
    write(read(entry["digest"]), entry)
write(index, top["manifests"][0])
with open(f"{out}/index.json", "w", encoding="utf-8") as file:
    json.dump(top, file)
print(top["manifests"][0]["digest"], *(entry["digest"] for entry in index["manifests"]))
EOF
	}
	local older
	variant 6.6.6 "$work/stranger" >/dev/null || fail "cannot make a stranger's image"
	older=$(variant 0.9.0 "$work/older") || fail "cannot make an older release's image"
	read -r -a older <<<"$older"

	# oras splits DIR:REF at the last colon: it takes the layout by the bare tag.
	mkdir "$work/layout" && tar -C "$work/layout" -xf "$dir/$archive"
	local fetched
	fetched=$(oras manifest fetch --oci-layout "$work/layout:$version" | sha256sum) ||
		fail "oras cannot take $archive by its tag $version"
	[ "sha256:${fetched%% *}" = "$index" ] || fail "oras takes $version as sha256:${fetched%% *}, not the index $index"
	echo "ok: oras takes the image layout by its tag $version, as the index $index"

	# Refused before anything is pushed: a file that is not the one
	# SHA256SUMS lists, and with the signer's keyring an altered SHA256SUMS.
	cp -a "$dir" "$work/doctored"
	printf ' ' >>"$work/doctored/sigsend-$version.openvex.json"
	local said
	! said=$("${publish[@]}" "$work/doctored" "$address/doctored" 2>&1) || fail "publish took a changed VEX: $said"
	said=$(grep "sigsend-$version.openvex.json" <<<"$said") || fail "the refusal does not name the changed VEX: $said"
	! skopeo inspect --tls-verify=false --raw "docker://$address/doctored:$version" >/dev/null 2>&1 ||
		fail "publish pushed the image of a release with a changed VEX"
	echo "ok: a changed VEX is refused before anything is pushed: $said"
	if [ -n "$keyring" ]; then
		cp "$dir/sigsend-$version.openvex.json" "$work/doctored/"
		echo "0000000000000000000000000000000000000000000000000000000000000000  extra" >>"$work/doctored/SHA256SUMS"
		! said=$("${publish[@]}" "$work/doctored" "$address/doctored" 2>&1) || fail "publish took an altered SHA256SUMS: $said"
		grep -q "signature of SHA256SUMS" <<<"$said" || fail "the refusal does not name the signature: $said"
		echo "ok: an altered SHA256SUMS is refused: $(grep -m 1 -i 'bad signature' <<<"$said" || head -n 1 <<<"$said")"
	fi
	# Only what SHA256SUMS lists is published: a SHA256SUMS without the
	# image (a stranger's archive in its place) or without the VEX. It is
	# taken as trusted (--unsigned), as a signed one would be.
	local name n=0
	for name in "sigsend-$version.oci.tar" "sigsend-$version.openvex.json"; do
		n=$((n + 1))
		rm -rf "$work/unlisted" && cp -a "$dir" "$work/unlisted"
		rm -f "$work/unlisted/SHA256SUMS.asc"
		if [ "$n" -eq 1 ]; then
			rm "$work/unlisted/$name"
			tar -C "$work/stranger" -cf "$work/unlisted/$name" oci-layout index.json blobs
		fi
		grep -v -F "  $name" "$dir/SHA256SUMS" >"$work/unlisted/SHA256SUMS"
		if said=$("$source/scripts/publish" --insecure --unsigned "$work/unlisted" "$address/unlisted$n" 2>&1); then
			flunk "publish took a release whose SHA256SUMS does not list $name: $said"
		elif ! grep -q "$name is not listed in SHA256SUMS" <<<"$said"; then
			flunk "publish refused an unlisted $name for another reason: $said"
		else
			echo "ok: an unlisted $name is refused: $(grep -m 1 "$name" <<<"$said")"
		fi
		! skopeo inspect --tls-verify=false --raw "docker://$address/unlisted$n:$version" >/dev/null 2>&1 ||
			flunk "publish pushed the image of a release whose SHA256SUMS does not list $name"
	done

	# Published twice: the second run adds no signature and no attestation.
	local begun=$SECONDS out
	out=$("${publish[@]}" "$dir" "$ref" 2>&1) || fail "publish failed:"$'\n'"$out"
	[ "$(tail -n 1 <<<"$out")" = "$ref@$index" ] || fail "publish did not push the release's index $index:"$'\n'"$out"
	echo "ok: published $ref:$version = $ref@$index in $((SECONDS - begun)) s"
	grep '^scripts/publish' <<<"$out" | sed 's/^/    /'
	attached() { # DIGEST: the digests of its .sig and .att manifests, and their layer counts
		local kind raw
		for kind in sig att; do
			raw=$(skopeo inspect --tls-verify=false --raw "docker://$ref:sha256-${1#sha256:}.$kind") ||
				fail "no .$kind beside $1"
			echo "$kind $(sha256sum <<<"$raw" | cut -c1-12) $("$python" -I -c 'import json, sys; print(len(json.loads(sys.argv[1])["layers"]))' "$raw") layers"
		done
	}
	local before after
	before=$(while read -r _ digest; do attached "$digest"; done <<<"$digests")
	begun=$SECONDS
	out=$("${publish[@]}" "$dir" "$ref" 2>&1) || fail "the second publish failed:"$'\n'"$out"
	[ "$(tail -n 1 <<<"$out")" = "$ref@$index" ] || fail "the second publish gave another digest:"$'\n'"$out"
	after=$(while read -r _ digest; do attached "$digest"; done <<<"$digests")
	# The signatures stay as they were; each attestation is replaced by one of its kind.
	[ "$(grep ^sig <<<"$before")" = "$(grep ^sig <<<"$after")" ] ||
		fail "the second publish changed the signatures:"$'\n'"$before"$'\n'"$after"
	[ "$(grep ^att <<<"$before" | cut -d' ' -f1,3-)" = "$(grep ^att <<<"$after" | cut -d' ' -f1,3-)" ] ||
		fail "the second publish piled up attestations:"$'\n'"$before"$'\n'"$after"
	echo "ok: published again in $((SECONDS - begun)) s: same digest, signatures unchanged, still $(grep ^att <<<"$after" | awk '{ n += $3 } END { print n }') attestations"

	# cosign: the signature of every platform's manifest, with its version
	# and commit (the tag's: the documented check below).
	local pub=$work/cosign.pub platform digest count=0
	while read -r platform digest; do
		[ "$platform" != index ] || continue
		cosign verify --insecure-ignore-tlog=true --key "$pub" -a "org.opencontainers.image.version=$version" \
			-a "org.opencontainers.image.revision=$commit" "$ref@$digest" >/dev/null 2>"$work/verify.err" ||
			fail "cosign verify of $platform ($digest): $(cat "$work/verify.err")"
		count=$((count + 1))
	done <<<"$digests"
	echo "ok: cosign verify of every platform's manifest by digest, with its version and commit ($count)"

	# cosign: each attestation is there once, on its digest, and holds the
	# release's own document.
	attestation() { # TYPE DIGEST
		cosign verify-attestation --insecure-ignore-tlog=true --key "$pub" --type "$1" "$ref@$2" 2>"$work/verify.err" ||
			fail "cosign verify-attestation --type $1 $ref@$2: $(cat "$work/verify.err")"
	}
	predicate() { # OUTPUT TYPE DIGEST [FILE]: the predicate, checked against FILE where given
		"$python" -I - "$@" <<'EOF'
import base64, json, sys
output, kind, digest, *expected = sys.argv[1:]
lines = [line for line in output.splitlines() if line.strip()]
if len(lines) != 1:
    sys.exit(f"{len(lines)} attestations of {kind}, not one")
statement = json.loads(base64.b64decode(json.loads(lines[0])["payload"]))
got, subjects = statement["predicateType"], statement["subject"]
if got != kind:
    sys.exit(f"the predicate type is {got}, not {kind}")
if [subject["digest"]["sha256"] for subject in subjects] != [digest[7:]]:
    sys.exit(f"the subject is {subjects}, not {digest}")
if expected:
    with open(expected[0], encoding="utf-8") as file:
        if statement["predicate"] != json.load(file):
            sys.exit(f"the predicate is not {expected[0]}")
print(json.dumps(statement["predicate"], sort_keys=True))
EOF
	}
	local amd64="" cyclonedx=0
	count=0
	while read -r platform digest; do
		[ "$platform" != index ] || continue
		out=$(attestation spdxjson "$digest")
		said=$(predicate "$out" https://spdx.dev/Document "$digest" "$dir/sigsend-$version-$platform.spdx.json") ||
			fail "the SBOM attested on $platform: $said"
		[ "$platform" != linux-amd64 ] || amd64=$said
		count=$((count + 1))
		[ -e "$dir/sigsend-$version-$platform.cdx.json" ] || continue
		out=$(attestation cyclonedx "$digest")
		said=$(predicate "$out" https://cyclonedx.org/bom "$digest" "$dir/sigsend-$version-$platform.cdx.json") ||
			fail "the CycloneDX SBOM attested on $platform: $said"
		cyclonedx=$((cyclonedx + 1))
	done <<<"$digests"
	said=$("$python" -I - "$amd64" <<'EOF'
import json, sys
sbom = json.loads(sys.argv[1])
print(sbom["spdxVersion"], sbom["name"], "with", ", ".join(p["name"] + " " + p.get("versionInfo", "") for p in sbom["packages"]))
EOF
)
	echo "ok: every platform's SBOM attested on its manifest is the release's ($count, and $cyclonedx CycloneDX); linux/amd64's: $said"
	out=$(attestation openvex "$index")
	said=$(predicate "$out" https://openvex.dev/ns "$index" "$dir/sigsend-$version.openvex.json") || fail "the VEX: $said"
	said=$("$python" -I - "$said" <<'EOF'
import json, sys
vex = json.loads(sys.argv[1])
answers = sorted({(s["vulnerability"]["name"], s["status"]) for s in vex["statements"]})
print(vex["@id"], len(vex["statements"]), "statements:", ", ".join(" ".join(a) for a in answers))
EOF
)
	echo "ok: the VEX attested on the index is the release's: $said"
	out=$(attestation slsaprovenance1 "$index")
	said=$(predicate "$out" https://slsa.dev/provenance/v1 "$index") || fail "the provenance: $said"
	local provenance=$said
	said=$("$python" -I - "$said" "$dir/sigsend-$version.tar.gz" "$dir/sigsend-$version.buildinfo" <<'EOF'
import hashlib, json, sys
predicate, tarball, buildinfo = json.loads(sys.argv[1]), sys.argv[2], sys.argv[3]
with open(tarball, "rb") as file:
    sha = hashlib.sha256(file.read()).hexdigest()
with open(buildinfo, encoding="utf-8") as file:
    commit = [line.split(": ", 1)[1] for line in file.read().splitlines() if line.startswith("Git-Commit: ")]
definition, builder = predicate["buildDefinition"], predicate["runDetails"]["builder"]["id"]
build_type, dependencies = definition["buildType"], definition["resolvedDependencies"]
named = [d.get("name", "") for d in dependencies if d.get("digest", {}).get("sha256") == sha]
if not named or not named[0].endswith(".tar.gz"):
    sys.exit(f"it names no tarball of SHA-256 {sha}")
if not build_type.startswith("https://") or not builder.startswith("https://"):
    sys.exit(f"its buildType {build_type!r} or builder {builder!r} is no https URL")
if definition["externalParameters"]["source"]["gitCommit"] != commit[0]:
    sys.exit("its commit is not the buildinfo's")
packages = [d["uri"] for d in dependencies if d.get("uri", "").startswith("pkg:deb/")]
print(f"buildType {build_type}, builder {builder}, {named[0]} sha256:{sha[:16]}..., "
      f"commit {commit[0][:12]}, {len(packages)} Debian packages such as {packages[0]}")
EOF
) || fail "the provenance: $said"
	echo "ok: the provenance attested on the index: $said"

	# What docs/registry.md gives users, read from it: the policy and the
	# registries.d entry, with the test's registry and key in place of the
	# examples', and the check of the tag, a command a line (continuations
	# joined) but the assignments of REF, VERSION and COMMIT, which the
	# test makes.
	"$python" -I - "$source/docs/registry.md" "$ref" "$pub" "$work" <<'EOF' || fail "cannot read docs/registry.md"
import json, os, re, sys
doc, ref, key, work = sys.argv[1:]
with open(doc, encoding="utf-8") as file:
    blocks = re.findall(r"^```(\w+)\n(.*?)^```$", file.read(), re.M | re.S)
def block(kind, holding):
    found = [text for name, text in blocks if name == kind and holding in text]
    if not found:
        sys.exit(f"docs/registry.md has no {kind} block with {holding}")
    return found[0].replace("registry.example.org/sigsend", ref).replace("/etc/containers/sigsend-cosign.pub", key)
policy = block("json", '"default"')
json.loads(policy)
os.mkdir(f"{work}/registries.d")
for path, text in (("policy.json", policy), ("registries.d/sigsend.yaml", block("yaml", "sigstore"))):
    with open(f"{work}/{path}", "x", encoding="utf-8") as file:
        file.write(text)
lines = block("sh", "cosign verify ").replace("\\\n", " ").splitlines()
with open(f"{work}/check", "x", encoding="utf-8") as file:
    file.write("".join(line + "\0" for line in lines if line.strip() and not re.match(r"[A-Z]+=", line)))
EOF
	# The documented check of the tag, a command at a time: each passes
	# (pass), or each cosign command fails (refuse).
	tag_check() { # pass|refuse WHAT
		local line said
		while IFS= read -r -d '' line; do
			if said=$(cd "$work" && REF=$ref VERSION=$version COMMIT=$commit bash -euo pipefail -c "$line" 2>&1); then
				if [[ $line != cosign* ]]; then
					continue
				elif [ "$1" = refuse ]; then
					flunk "the documented '$line' took $2: $said"
				else
					echo "ok: the documented ${line%% --*} passes for $2"
					grep -v '^WARNING' <<<"$said" | grep . | sed 's/^/    /'
				fi
			elif [ "$1" = pass ] || [[ $line != cosign* ]]; then
				flunk "the documented '$line' failed on $2: $said"
			else
				echo "ok: the documented ${line%% --*} refuses $2: $(grep -E -m 1 '^Error|conflicting' <<<"$said")"
			fi
		done <"$work/check"
	}
	tag_check pass "the release's tag"

	# skopeo and podman under the documented policy. podman reads
	# registries.d only from /etc/containers: a copy with the documented
	# entry, bound over it in a mount namespace of each pull's own.
	local tools=(skopeo)
	if command -v podman >/dev/null; then
		tools+=(podman)
		cp -a /etc/containers "$work/etc-containers"
		cp "$work/registries.d/sigsend.yaml" "$work/etc-containers/registries.d/" 2>/dev/null ||
			cp -a "$work/registries.d" "$work/etc-containers/"
	else
		echo "note: no podman here: skopeo alone checks the policy"
	fi
	by() { # TOOL IMAGE: TOOL takes IMAGE under the policy
		if [ "$1" = skopeo ]; then
			rm -rf "$work/taken"
			skopeo --policy "$work/policy.json" --registries.d "$work/registries.d" \
				copy --all --src-tls-verify=false "docker://$2" "dir:$work/taken" 2>&1
		else
			# shellcheck disable=SC2016 # the arguments are expanded inside
			unshare --mount --propagation private bash -c 'mount --bind "$1/etc-containers" /etc/containers &&
				exec podman --root "$1/podman/root" --runroot "$1/podman/run" --storage-driver vfs \
				pull -q --tls-verify=false --signature-policy "$1/policy.json" "docker://$2"' - "$work" "$2" 2>&1
		fi
	}
	expect() { # takes|refuses IMAGE WHAT [MESSAGE]
		local tool said
		for tool in "${tools[@]}"; do
			if said=$(by "$tool" "$2"); then
				if [ "$1" = takes ]; then echo "ok: $tool under the policy takes $3"; else flunk "$tool under the policy took $3"; fi
			elif [ "$1" = takes ]; then
				flunk "$tool under the policy refused $3: $said"
			elif ! grep -q -- "$4" <<<"$said"; then
				flunk "$tool under the policy refused $3 for another reason: $said"
			else
				echo "ok: $tool under the policy refuses $3: $(grep -m 1 -o 'Source image rejected: .*' <<<"$said")"
			fi
		done
	}
	expect takes "$ref:$version" "the release's tag"
	expect takes "$ref@$(sed -n 's/^linux-arm64 //p' <<<"$digests")" "linux/arm64's manifest by digest"
	expect takes "$ref@$index" "the index by digest"
	skopeo copy --quiet --all --preserve-digests --dest-tls-verify=false "oci:$work/stranger" "docker://$ref:stranger" ||
		fail "could not push the stranger's image"
	skopeo copy --quiet --dest-tls-verify=false "oci-archive:$dir/$archive" "docker://$address/unsigned:$version" ||
		fail "could not push the unsigned image"
	expect refuses "$ref:stranger" "an unsigned image in the repository" "A signature was required, but no signature exists"
	expect refuses "$address/unsigned:$version" "the release's image unsigned in another repository" "is rejected by policy"

	# The tag moved: to one platform's signed manifest of the release, and
	# to an older release's signed index, pushed and signed as publish
	# does (for the tag of its version, with its version and commit), its
	# provenance attested with them.
	local old=0.9.0 old_commit
	old_commit=$(printf '%040d' 0)
	skopeo copy --quiet --all --preserve-digests --dest-tls-verify=false "oci:$work/older" "docker://$ref:$old" ||
		fail "could not push the older release"
	local platforms=("${older[@]:1}") sign=(cosign sign --yes --tlog-upload=false --key "$work/cosign.key"
		--allow-insecure-registry --allow-http-registry --sign-container-identity "$ref:$old"
		--annotations "org.opencontainers.image.version=$old" --annotations "org.opencontainers.image.revision=$old_commit")
	"$python" -I -c 'import json, sys; p = json.loads(sys.argv[1]); s = p["buildDefinition"]["externalParameters"]["source"]
s["version"], s["gitCommit"] = sys.argv[2:]; print(json.dumps(p))' "$provenance" "$old" "$old_commit" >"$work/older.json"
	{ "${sign[@]}" --annotations "org.opencontainers.image.ref.name=$old" "$ref@${older[0]}" &&
		"${sign[@]}" "${platforms[@]/#/$ref@}" &&
		cosign attest --yes --tlog-upload=false --key "$work/cosign.key" --allow-insecure-registry \
			--allow-http-registry --type slsaprovenance1 --predicate "$work/older.json" "$ref@${older[0]}"
	} >/dev/null 2>"$work/sign.err" ||
		fail "could not sign the older release: $(cat "$work/sign.err")"
	move() { # DIGEST: the tag names it
		skopeo copy --quiet --all --preserve-digests --src-tls-verify=false --dest-tls-verify=false \
			"docker://$ref@$1" "docker://$ref:$version" || fail "could not move the tag to $1"
	}
	move "$(sed -n 's/^linux-riscv64 //p' <<<"$digests")"
	tag_check refuse "the tag moved to linux/riscv64's manifest"
	# containers/image checks a platform's manifest against the tag asked
	# for, whether the tag names it or the index: docs/registry.md says so.
	expect takes "$ref:$version" "the tag moved to linux/riscv64's manifest, which it cannot tell from the index's"
	move "${older[0]}"
	tag_check refuse "the tag moved to an older release's index"
	expect refuses "$ref:$version" "the tag moved to an older release's index" "is not accepted"
	expect takes "$ref@$index" "the release's index by the digest of its claim, whatever the tag names"
	[ -z "$failed" ] || fail "cases failed (above)"
}

case ${1:-} in
--inside) shift; inside "$@"; exit 0 ;;
--enter) # ROOT ADDRESS [KEYRING]: from mmdebstrap's hook, into its root.
	# podman unpacks layers in a chroot of their own, which needs the root
	# to be a mount point: a bind mount, in a namespace that ends with it.
	# shellcheck disable=SC2016 # the arguments are expanded inside
	exec unshare --mount --propagation private bash -c 'mount --rbind "$1" "$1" &&
		exec chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 TZ=UTC \
		bash /in/tests/registry.sh --inside "$2" /in/release /in/work /in ${3:+/in/keyring.gpg}' - "${@:2}" ;;
esac
{ [ $# -ge 2 ] && [ $# -le 3 ]; } || { echo "usage: tests/registry.sh DIR SCRATCH [KEYRING]" >&2; exit 2; }
dir=$(realpath "$1") scratch=$2 keyring=${3:-}
source=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "skipped: the registry's podman storage and the Debian 13 root need root"; exit 0; }
command -v docker-registry >/dev/null || { echo "skipped: no docker-registry (the docker-registry package)"; exit 0; }
native=yes
if ! command -v cosign >/dev/null || ! command -v skopeo >/dev/null || ! command -v oras >/dev/null; then
	native=""
	command -v mmdebstrap >/dev/null ||
		{ echo "skipped: no cosign, skopeo and oras here (Debian 13's), and no mmdebstrap to make a Debian 13 root with them"; exit 0; }
fi
registry=""
cleanup() {
	if [ -n "$registry" ]; then
		kill "$registry" 2>/dev/null || true
		wait "$registry" 2>/dev/null || true
	fi
	rm -rf "$scratch"
}
trap cleanup EXIT
rm -rf "$scratch"
mkdir -p "$scratch/storage" "$scratch/tmp"

# The registry, on a port that the kernel found free.
port=$(/usr/bin/python3 -I -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
address=127.0.0.1:$port
cat >"$scratch/registry.yml" <<EOF
version: 0.1
log:
  level: warn
storage:
  filesystem:
    rootdirectory: $scratch/storage
http:
  addr: $address
EOF
docker-registry serve "$scratch/registry.yml" >"$scratch/registry.log" 2>&1 &
registry=$!
deadline=$((SECONDS + 20))
until (: <"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
	kill -0 "$registry" 2>/dev/null || fail "docker-registry stopped: $(cat "$scratch/registry.log")"
	[ "$SECONDS" -lt "$deadline" ] || fail "docker-registry did not listen on $address in 20 s"
	sleep 0.1
done
echo "ok: docker-registry $(docker-registry --version | awk '{ print $3 }') serves $address"

if [ -n "$native" ]; then
	mkdir "$scratch/work"
	inside "$address" "$dir" "$scratch/work" "$source" "$keyring"
else
	# What runs inside the root: this checkout's publish, test and
	# docs/registry.md, the release, the keyring.
	mkdir -p "$scratch/in/cmake" "$scratch/in/docs" "$scratch/in/tests" "$scratch/in/work"
	cp -a "$source/scripts" "$scratch/in/"
	cp "$source/cmake/architectures.txt" "$scratch/in/cmake/"
	cp "$source/docs/registry.md" "$scratch/in/docs/"
	cp "$0" "$scratch/in/tests/registry.sh"
	cp -a "$dir" "$scratch/in/release"
	[ -z "$keyring" ] || cp "$keyring" "$scratch/in/keyring.gpg"
	quote() { printf '%q ' "$@"; }
	# shellcheck disable=SC2016 # each hook's $1 is the root, which mmdebstrap gives it
	TMPDIR=$scratch/tmp unshare --mount --propagation private mmdebstrap --mode=root --quiet --variant=apt \
		--format=null --include=cosign,skopeo,podman,oras,ca-certificates,gpgv,python3,mount \
		--customize-hook="copy-in $(quote "$scratch/in") /" \
		--customize-hook="echo \"ok: a Debian 13 root with cosign, skopeo, oras and podman in \$((\$(date +%s) - $(date +%s))) s\"" \
		--customize-hook="$(quote bash "$source/tests/registry.sh" --enter) \"\$1\" $(quote "$address" ${keyring:+x})" \
		trixie /dev/null "deb http://deb.debian.org/debian trixie main" 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&- ||
		fail "the check in the Debian 13 root failed (above)"
fi
echo "ok: the whole check took $((SECONDS - started)) s"
