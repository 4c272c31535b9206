#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The release's OCI image archive, read as files: its one reference names
# an index with a manifest for each row of cmake/architectures.txt; each
# platform's layer holds a binary whose ELF header is that platform's row
# (cmake/architectures.cmake reads it); beside it, not executable, the
# release's notices, that binary's SBOM and its VEX statements, which are the
# release's; and each manifest names its own SBOM's licences.
# Prints "N passed, 0 failed" at the end, or stops at the first failure.
# Usage: tests/image-audit.sh ARCHIVE VERSION CMAKE
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: tests/image-audit.sh ARCHIVE VERSION CMAKE" >&2; exit 2; }
archive=$(realpath "$1") tag=$2 cmake=$3
here=$(cd "$(dirname "$0")" && pwd)
release=${archive%/*}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
passed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }

mkdir "$work/layout"
tar -C "$work/layout" -xf "$archive" || fail "cannot unpack $archive"
blob() { echo "$work/layout/blobs/sha256/${1#sha256:}"; }
refs=$(jq -r '[.manifests[].annotations["org.opencontainers.image.ref.name"]] | join(" ")' \
	"$work/layout/index.json")
[ "$refs" = "sigsend:$tag" ] || fail "the archive's references are '$refs', not 'sigsend:$tag'"
ok "the archive's one reference is sigsend:$tag"
index=$(jq -r '.manifests[0].digest' "$work/layout/index.json")
platforms=$(jq -r '[.manifests[].platform | [.architecture, .variant // empty] | join("-")] | sort | join(" ")' \
	"$(blob "$index")")
want=$(grep '^[a-z0-9]' "$here/../cmake/architectures.txt" | awk '{ print $2 }' | sort | paste -sd' ')
[ "$platforms" = "$want" ] || fail "the index's platforms are '$platforms', not '$want'"
ok "the index has a manifest for each architecture: $platforms"

jq -r '.manifests[] | [.digest, ([.platform.architecture, .platform.variant // empty] | join("-"))] | @tsv' \
	"$(blob "$index")" >"$work/manifests"
while IFS=$'\t' read -r manifest platform; do
	layer=$(jq -r '.layers[0].digest' "$(blob "$manifest")")
	tar -xzf "$(blob "$layer")" -O sigsend >"$work/sigsend"
	names=$("$cmake" -DBINARY="$work/sigsend" -P "$here/../cmake/architectures.cmake" 2>&1) ||
		fail "the $platform layer's binary: $names"
	read -r _ elf _ <<<"$names"
	[ "$elf" = "$platform" ] || fail "the $platform layer holds a binary for $elf"
	modes=$(tar -tvzf "$(blob "$layer")" | awk '$1 !~ /^d/ { print $1, $6 }' | sort -k2 | tr '\n' ' ')
	want="-rwxr-xr-x sigsend -rw-r--r-- usr/share/doc/sigsend/NOTICES"
	want+=" -rw-r--r-- usr/share/doc/sigsend/sigsend.openvex.json"
	want+=" -rw-r--r-- usr/share/doc/sigsend/sigsend.spdx.json "
	[ "$modes" = "$want" ] || fail "the $platform layer's files are: $modes"
	ok "the $platform layer holds a binary for $platform, mode 0755, and its documents, 0644"
	for doc in NOTICES:-NOTICES.txt "sigsend.spdx.json:-linux-$platform.spdx.json"; do
		tar -xzf "$(blob "$layer")" -O "usr/share/doc/sigsend/${doc%%:*}" |
			cmp -s - "$release/sigsend-$tag${doc#*:}" ||
			fail "the $platform layer's ${doc%%:*} is not the release's sigsend-$tag${doc#*:}"
	done
	ok "the $platform layer holds the release's notices and this binary's SBOM"
	sha=$(sha256sum "$work/sigsend" | cut -d' ' -f1)
	tar -xzf "$(blob "$layer")" -O usr/share/doc/sigsend/sigsend.openvex.json |
		jq -e --arg sha "$sha" --slurpfile release "$release/sigsend-$tag.openvex.json" \
			'.statements != [] and all(.statements[]; .products[0].hashes["sha-256"] == $sha
			and (. as $st | $release[0].statements | index([$st])))' >/dev/null ||
		fail "the $platform layer's VEX is not the release's for its binary $sha"
	licenses=$(jq -r '.annotations["org.opencontainers.image.licenses"]' "$(blob "$manifest")")
	sbom=$(jq -r '.packages[0].licenseConcluded' "$release/sigsend-$tag-linux-$platform.spdx.json")
	[ "$licenses" = "$sbom" ] || fail "the $platform image's licences are '$licenses', its SBOM's '$sbom'"
	ok "the $platform layer holds this binary's VEX, and the image names its SBOM's licences"
done <"$work/manifests"
echo "image-audit: $passed passed, 0 failed"
