#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What the release's build can reach of the host (label release, a root
# made and a set built: minutes). A clone of SOURCE's last commit gets a
# configure step that, from inside the build, lists every process it sees,
# writes a marker into a world-writable folder of the host directly and
# through every /proc/PID/root, and lists the signer's key folder (made
# readable to all) directly and the same way; it records what it saw in
# planted.txt, a file of the set, and goes on. That commit is released,
# signed with a throwaway key. Then no marker exists, planted.txt does,
# neither it nor any other file of the set names a keygrip of the key or
# shows a process of the host (this script), no GnuPG daemon of the key's
# home ran while the root was made or the set built, none is left after,
# and the signatures are good. Prints "skipped: WHY" where no root can be
# made or gpg is missing.
# Usage: tests/confinement.sh SOURCE SCRATCH
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 2 ] || usage "SOURCE SCRATCH"
source=$1 scratch=$2
need git git
need gpg gnupg
need gpg-agent gpg-agent
need gpgv gpgv
need_checkout "$source"
need_root_maker
rm -rf "$scratch"
mkdir -p "$scratch/outs"
# The release's TMPDIR, on a path that the root's namespace may walk.
tmp="" && temporary tmp
chmod 711 "$tmp"
gnupg=$scratch/gnupg open=$scratch/open
marker=$open/marker
mkdir -m 1777 "$open"
mkdir -m 700 "$gnupg"
export GNUPGHOME=$gnupg
gpg --batch --quiet --pinentry-mode loopback --passphrase '' \
	--quick-gen-key 'sigsend probe <probe@example.org>' ed25519 sign never 2>/dev/null
gpg --batch --export >"$scratch/signer.gpg"
gpgconf --kill all
mapfile -t grips < <(cd "$gnupg/private-keys-v1.d" && ls -- *.key)
[ "${#grips[@]}" -gt 0 ] || fail "gpg made no key in $gnupg"
# Only the build's confinement keeps it out, not the folders' modes.
chmod 755 "$gnupg" "$gnupg/private-keys-v1.d"

# The planted configure step.
git clone -q "$source" "$scratch/clone"
cat >"$scratch/clone/probe.sh" <<EOF
# Runs where the build runs; records what it sees of the host in \$1.
{
	echo "processes:"
	for cmdline in /proc/[0-9]*/cmdline; do tr '\\0' ' ' <"\$cmdline"; echo; done
	echo "key folder:"
	ls -A '$gnupg/private-keys-v1.d'
	for root in /proc/[0-9]*/root; do
		ls -A "\$root$gnupg/private-keys-v1.d"
		touch "\$root$marker"
	done
	touch '$marker'
	echo "descriptors:"
	for fd in /proc/\$\$/fd/*; do readlink "\$fd"; done
	(: </dev/tty) 2>/dev/null && echo "terminal: opened"
} >>"\$1" 2>&1
exit 0
EOF
# shellcheck disable=SC2016 # CMake's variables, for CMake
sed -i '/^project(/i execute_process(COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/probe.sh ${CMAKE_CURRENT_SOURCE_DIR}/../set/planted.txt)' \
	"$scratch/clone/CMakeLists.txt"
grep -q '^execute_process(COMMAND sh .*probe.sh' "$scratch/clone/CMakeLists.txt" || fail "the probe was not planted"
git -C "$scratch/clone" add probe.sh CMakeLists.txt
git -C "$scratch/clone" -c user.name=probe -c user.email=probe@example.org commit -q -m "a probe of the build's reach"

# GnuPG's daemons of the key's home, and mmdebstrap at work for this
# release: each a pid a line.
daemons() {
	local proc
	for proc in /proc/[0-9]*; do
		case $(cat "$proc/comm" 2>/dev/null) in
		gpg-agent | keyboxd | dirmngr | scdaemon)
			! grep -qF "$gnupg" "$proc/cmdline" 2>/dev/null || echo "${proc#/proc/}" ;;
		esac
	done
}
building() {
	local proc
	for proc in /proc/[0-9]*; do
		[ "$(cat "$proc/comm" 2>/dev/null)" = mmdebstrap ] || continue
		! grep -qF "$tmp" "$proc/cmdline" 2>/dev/null || echo "${proc#/proc/}"
	done
}
started=$(date +%s)
TMPDIR=$tmp SIGSEND_SIGNING_KEY=probe@example.org "$scratch/clone/scripts/release" "$scratch/outs/out" \
	>"$scratch/said" 2>&1 &
release=$!
seen=""
while kill -0 "$release" 2>/dev/null; do
	at_work=$(building)
	if [ -n "$at_work" ] && [ -z "$seen" ]; then
		seen=$(daemons)
		[ -z "$seen" ] || seen="$seen (while mmdebstrap $at_work ran)"
	fi
	sleep 0.5
done
status=0
wait "$release" || status=$?
[ "$status" -eq 0 ] || fail "the release failed ($status): $(cat "$scratch/said")"
echo "ok: released in $(($(date +%s) - started)) s"
[ -z "$seen" ] || fail "a GnuPG daemon of the signer's home ran while the set was built: $seen"
left=$(daemons)
[ -z "$left" ] || fail "GnuPG daemons of the signer's home outlived the release: $left"
echo "ok: no GnuPG daemon of the signer's home ran during the build or is left"

out=$scratch/outs/out
[ ! -e "$marker" ] || fail "the build wrote $marker on the host"
[ -s "$out/planted.txt" ] || fail "the probe left no planted.txt in the set: $(ls "$out")"
echo "ok: the probe ran and wrote no marker on the host"
! grep -qF "tests/confinement.sh" "$out/planted.txt" ||
	fail "the build saw processes of the host: $(grep -F tests/confinement.sh "$out/planted.txt")"
for grip in "${grips[@]}"; do
	named=$(grep -rlaF "${grip%.key}" "$out" || true)
	[ -z "$named" ] || fail "the set names the signer's keygrip ${grip%.key}: $named"
done
echo "ok: the build saw no process of the host and no keygrip of the signer's (${#grips[@]})"
# A socket left open would lead out of the root (mmdebstrap's own serves
# the host's files), and a controlling terminal could be typed into.
! grep -q '^socket:' "$out/planted.txt" ||
	fail "the build held a socket: $(sed -n '/^descriptors:/,$p' "$out/planted.txt" | tr '\n' ' ')"
! grep -qx 'terminal: opened' "$out/planted.txt" || fail "the build could open a controlling terminal"
echo "ok: the build held no socket and had no terminal; its configure step held: $(
	awk '/^descriptors:/ { on = 1; next } /^processes:/ { if (on) exit } on' "$out/planted.txt" | tr '\n' ' ')"
for file in SHA256SUMS "$(cd "$out" && compgen -G 'sigsend-*.tar.gz')"; do
	gpgv --keyring "$scratch/signer.gpg" "$out/$file.asc" "$out/$file" 2>/dev/null ||
		fail "the signature of $file is not good"
done
echo "ok: SHA256SUMS and the tarball are signed"
rm -rf "$scratch"
