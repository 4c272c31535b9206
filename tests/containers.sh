#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The release's image in a real container runtime, as its users take it in:
# pulled by the archive's own reference (and taken by its tag by skopeo and
# umoci), beside a target in the target's PID
# namespace, copied into another image and run by `podman exec`, and chosen
# by platform through qemu-user, for one little-endian and one big-endian
# row of cmake/architectures.txt that are not this host's. Runs podman (with
# runc) as root in storage of its own, which it removes again. Prints
# "N passed, 0 failed" at the end, or stops at the first failure; says
# "skipped:" when not root, or without podman, runc or Debian's static
# busybox, whose shell the targets run.
# Usage: tests/containers.sh ARCHIVE VERSION
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 2 ] || usage "ARCHIVE VERSION"
[ "$(id -u)" -eq 0 ] || { echo "skipped: podman's own storage here needs root"; exit 0; }
need podman podman
need runc runc
# The targets' shell, in a base without a C library: a static busybox
# (the busybox package's is dynamic).
if [ ! -x /bin/busybox ] || readelf -lW /bin/busybox 2>/dev/null | grep -q INTERP; then
	skip "no static /bin/busybox (the busybox-static package brings it)"
fi
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
pull() { podman pull -q --platform "$1" "oci-archive:$archive"; }

# What the archive's reference names it: the pull, unlike `podman load`,
# keeps the name.
host=$(podman info -f '{{.Host.Arch}}')
image=$(pull "linux/$host")
expect "the pulled image's name" "localhost/sigsend:$tag" \
	"$(podman image inspect -f '{{index .RepoTags 0}}' "$image")"
# skopeo takes the archive by its bare tag; umoci cannot choose among an
# index's platforms ("tag is ambiguous"), so it takes the one that skopeo
# copies out, by the same tag.
if command -v skopeo >/dev/null && command -v umoci >/dev/null; then
	skopeo copy -q --override-arch "$host" "oci-archive:$archive:$tag" "oci:$work/one:$tag"
	umoci unpack --image "$work/one:$tag" "$work/bundle" >/dev/null
	expect "the binary that skopeo and umoci take by the tag" \
		"$(sha256sum <"${archive%/*}/sigsend-$tag-linux-$host")" "$(sha256sum <"$work/bundle/rootfs/sigsend")"
else
	tools="skipped: no skopeo or umoci (the skopeo and umoci packages)"
fi

# A sidecar or ephemeral debug container: the signal reaches the target's
# main process, and signal 0 or a pid that does not exist leave it running.
target sidecar 42 TERM
expect "signal 0 to pid 1" "0 ''" "$(beside sidecar "$image" 1 0)"
expect "signal 15 to a pid that does not exist" "0 ''" "$(beside sidecar "$image" 4194303 15)"
expect "target still running" "true" "$(podman inspect -f '{{.State.Running}}' sidecar)"
expect "signal 15 to pid 1" "0 ''" "$(beside sidecar "$image" 1 15)"
expect "target ended by its handler" 42 "$(ended sidecar)"

# COPY --from into an image of one's own, run by an exec hook.
printf 'FROM localhost/base\nCOPY --from=localhost/sigsend:%s /sigsend /sigsend\n' "$tag" \
	>"$work/Containerfile"
podman build -q --network none -t localhost/hooked -f "$work/Containerfile" "$work" >/dev/null
target hooked 43 HUP localhost/hooked
expect "podman exec /sigsend 1 1" "0 ''" "$(outcome podman exec hooked /sigsend 1 1)"
expect "hooked target ended by its handler" 43 "$(ended hooked)"

# Platform selection through qemu-user: the usage line, then a real signal.
rows=$(table platform data) || fail "cannot read cmake/architectures.txt"
foreign=$(awk -v host="$host" '$1 != host && !seen[$2]++ { sub("-", "/", $1); print "linux/" $1 }' <<<"$rows")
for platform in $foreign; do
	image=$(pull "$platform")
	expect "$platform image's platform" "$platform" \
		"$(podman image inspect -f '{{.Os}}/{{.Architecture}}' "$image")"
	expect "$platform usage line" "0 'Arguments : pid sig'" \
		"$(outcome podman run --rm --network none "$image")"
	target "foreign-${platform#*/}" 44 TERM
	expect "$platform signal 15 to pid 1" "0 ''" "$(beside "foreign-${platform#*/}" "$image" 1 15)"
	expect "$platform target ended by its handler" 44 "$(ended "foreign-${platform#*/}")"
done

echo "${tools:-containers: $passed passed, 0 failed}"
