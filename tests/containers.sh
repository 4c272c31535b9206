#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The release's image in a real container runtime, as its users take it in:
# beside a target in the target's PID namespace, copied into another image
# and run by `podman exec`, and chosen by platform through qemu-user. Runs
# podman (with runc) as root in storage of its own, which it removes again.
# Prints "N passed, 0 failed" at the end, or stops at the first failure.
# Usage: tests/containers.sh ARCHIVE TAG   (the OCI archive and its tag)
set -euo pipefail
archive=$(realpath "$1") tag=$2
work=$(mktemp -d)
passed=0
cat >"$work/containers.conf" <<'EOF'
[containers]
default_ulimits = ["nofile=1024:1024", "nproc=1024:1024"]
[engine]
runtime = "runc"
cgroup_manager = "cgroupfs"
events_logger = "file"
EOF
# podman 5 warns on every command on a host whose cgroups are v1; that
# warning is podman's, never sigsend's output.
export CONTAINERS_CONF=$work/containers.conf PODMAN_IGNORE_CGROUPSV1_WARNING=1
pm=("$(command -v podman)" --root "$work/root" --runroot "$work/run" --storage-driver vfs)
podman() { "${pm[@]}" "$@"; }
cleanup() {
	podman rm -a -f -t 0 >/dev/null 2>&1 || true
	podman rmi -a -f >/dev/null 2>&1 || true
	umount -R "$work/root" "$work/run" 2>/dev/null || true
	rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
expect() { # NAME WANTED GOT
	[ "$2" = "$3" ] || fail "$1: wanted '$2', got '$3'"
	echo "ok: $1"
	passed=$((passed + 1))
}

# A base with a shell: Debian's static busybox, imported from a directory.
mkdir -p "$work/base/bin"
cp /bin/busybox "$work/base/bin/busybox"
for tool in sh sleep; do ln -s busybox "$work/base/bin/$tool"; done
tar -C "$work/base" -c . | podman import -q - localhost/base >/dev/null

# Starts a target container that exits with $2 on signal $3, and returns once
# its handler is in place: as pid 1 of its namespace it ignores the signal
# until then.
target() { # NAME STATUS SIGNAL [IMAGE]
	podman run -d --network none --name "$1" "${4:-localhost/base}" /bin/sh -c \
		"trap 'exit $2' $3; echo ready; while :; do sleep 1; done" >/dev/null
	local deadline=$((SECONDS + 30))
	until podman logs "$1" 2>&1 | grep -q ready; do
		[ "$SECONDS" -lt "$deadline" ] || fail "$1 did not start"
	done
}
# The status a container ended with, waiting at most 30 s.
ended() { timeout 30 "${pm[@]}" wait "$1" || echo "still running"; }
# A command's exit status and its output, both streams: "STATUS 'OUTPUT'".
outcome() {
	local out status=0
	out=$("$@" 2>&1) || status=$?
	echo "$status '$out'"
}
# The outcome of sigsend run from IMAGE in NAME's PID namespace.
beside() { # NAME IMAGE ARGS...
	outcome podman run --rm --network none --pid "container:$1" "$2" "${@:3}"
}
pull() { podman pull -q --platform "$1" "oci-archive:$archive:$tag"; }

# A sidecar or ephemeral debug container: the signal reaches the target's
# main process, and signal 0 or a pid that does not exist leave it running.
image=$(pull linux/amd64)
target sidecar 42 TERM
expect "signal 0 to pid 1" "0 ''" "$(beside sidecar "$image" 1 0)"
expect "signal 15 to a pid that does not exist" "0 ''" "$(beside sidecar "$image" 4194303 15)"
expect "target still running" "true" "$(podman inspect -f '{{.State.Running}}' sidecar)"
expect "signal 15 to pid 1" "0 ''" "$(beside sidecar "$image" 1 15)"
expect "target ended by its handler" 42 "$(ended sidecar)"

# COPY --from into an image of one's own, run by an exec hook.
podman tag "$image" "localhost/sigsend:$tag"
printf 'FROM localhost/base\nCOPY --from=localhost/sigsend:%s /sigsend /sigsend\n' "$tag" \
	>"$work/Containerfile"
podman build -q --network none -t localhost/hooked -f "$work/Containerfile" "$work" >/dev/null
target hooked 43 HUP localhost/hooked
expect "podman exec /sigsend 1 1" "0 ''" "$(outcome podman exec hooked /sigsend 1 1)"
expect "hooked target ended by its handler" 43 "$(ended hooked)"

# Platform selection through qemu-user: the usage line, then a real signal.
for platform in linux/arm64 linux/s390x; do
	image=$(pull "$platform")
	expect "$platform image's platform" "$platform" \
		"$(podman image inspect -f '{{.Os}}/{{.Architecture}}' "$image")"
	expect "$platform usage line" "0 'Arguments : pid sig'" \
		"$(outcome podman run --rm --network none "$image")"
	target "foreign-${platform#*/}" 44 TERM
	expect "$platform signal 15 to pid 1" "0 ''" "$(beside "foreign-${platform#*/}" "$image" 1 15)"
	expect "$platform target ended by its handler" 44 "$(ended "foreign-${platform#*/}")"
done

# Each platform's layer holds a binary for that platform's CPU, as its ELF
# header says (class, byte order, e_machine) and, on 32-bit ARM, its
# architecture attribute; beside it, not executable, the release's notices
# and that binary's SBOM.
mkdir "$work/layout"
tar -C "$work/layout" -xf "$archive"
blob() { echo "$work/layout/blobs/sha256/${1#sha256:}"; }
index=$(jq -r --arg tag "$tag" \
	'.manifests[] | select(.annotations["org.opencontainers.image.ref.name"] == $tag) | .digest' \
	"$work/layout/index.json")
jq -r '.manifests[] | [.digest, ([.platform.architecture, .platform.variant // empty] | join("-"))] | @tsv' \
	"$(blob "$index")" | while IFS=$'\t' read -r manifest arch; do
	layer=$(jq -r '.layers[0].digest' "$(blob "$manifest")")
	tar -xzf "$(blob "$layer")" -O sigsend >"$work/sigsend"
	read -r class data <<<"$(od -An -tu1 -j4 -N2 "$work/sigsend")"
	read -r first second <<<"$(od -An -tu1 -j18 -N2 "$work/sigsend")"
	elf="$class/$data/$((data == 1 ? first + 256 * second : 256 * first + second))"
	elf+=$(readelf -A "$work/sigsend" 2>/dev/null | sed -n 's/^ *Tag_CPU_arch: / /p')
	case $arch in
	amd64) want='2/1/62' ;;
	arm64) want='2/1/183' ;;
	arm-v7) want='1/1/40 v7' ;;
	arm-v5) want='1/1/40 v5TE' ;;
	386) want='1/1/3' ;;
	ppc64le) want='2/1/21' ;;
	s390x) want='2/2/22' ;;
	riscv64) want='2/1/243' ;;
	*) fail "no expectation for the platform $arch" ;;
	esac
	[ "$elf" = "$want" ] || fail "the $arch layer holds an ELF of class/data/machine $elf, not $want"
	echo "ok: the $arch layer holds an ELF of class/data/machine $want"
	modes=$(tar -tvzf "$(blob "$layer")" | awk '$1 !~ /^d/ { print $1, $6 }' | sort -k2 | tr '\n' ' ')
	want="-rwxr-xr-x sigsend -rw-r--r-- usr/share/doc/sigsend/NOTICES"
	want+=" -rw-r--r-- usr/share/doc/sigsend/sigsend.openvex.json"
	want+=" -rw-r--r-- usr/share/doc/sigsend/sigsend.spdx.json "
	[ "$modes" = "$want" ] || fail "the $arch layer's files are: $modes"
	for doc in NOTICES:-NOTICES.txt "sigsend.spdx.json:-linux-$arch.spdx.json"; do
		tar -xzf "$(blob "$layer")" -O "usr/share/doc/sigsend/${doc%%:*}" |
			cmp -s - "${archive%/*}/sigsend-$tag${doc#*:}" ||
			fail "the $arch layer's ${doc%%:*} is not the release's sigsend-$tag${doc#*:}"
	done
	echo "ok: the $arch layer holds the release's notices and this binary's SBOM"
	# This binary's VEX statements, which are the release's, and its licences.
	sha=$(sha256sum "$work/sigsend" | cut -d' ' -f1)
	tar -xzf "$(blob "$layer")" -O usr/share/doc/sigsend/sigsend.openvex.json |
		jq -e --arg sha "$sha" --slurpfile release "${archive%/*}/sigsend-$tag.openvex.json" \
			'.statements != [] and all(.statements[]; .products[0].hashes["sha-256"] == $sha
			and (. as $st | $release[0].statements | index([$st])))' >/dev/null ||
		fail "the $arch layer's VEX is not the release's for its binary $sha"
	licenses=$(jq -r '.annotations["org.opencontainers.image.licenses"]' "$(blob "$manifest")")
	sbom=$(jq -r '.packages[0].licenseConcluded' "${archive%/*}/sigsend-$tag-linux-$arch.spdx.json")
	[ "$licenses" = "$sbom" ] || fail "the $arch image's licences are '$licenses', its SBOM's '$sbom'"
	echo "ok: the $arch layer holds this binary's VEX, and the image names its SBOM's licences"
done
passed=$((passed + 3 * $(jq '.manifests | length' "$(blob "$index")")))
echo "containers: $passed passed, 0 failed"
