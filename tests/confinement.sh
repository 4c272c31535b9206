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
# and the signatures are good.
# The case runs in a session keyring of its own, where it adds a secret
# before the release, and puts a file of its own in /dev/shm: the probe
# lists every keyring it reaches (tests/keyrings.py), adds a key to its
# session keyring, lists /dev/shm with its device and inode and writes a
# file there. Then the build saw no key of the host's, left none in the
# case's keyring, and saw (and wrote) nothing of the host's /dev/shm. And
# while the release runs, a watcher as nobody plants links named log, set
# and ready, to a file of root's, in every folder under TMPDIR that it finds
# (in command lines, or listing) and may write to: afterwards that file is
# as it was, and there was no such folder.
# Prints "skipped: WHY" where no root can be made or gpg is missing.
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
keyrings() { /usr/bin/python3 -I "$checks/keyrings.py" "$@"; }
said=$(keyrings list 2>&1 >/dev/null) || skip "$said"
if [ "${SIGSEND_PROBE_SESSION:-}" != "$$" ]; then
	SIGSEND_PROBE_SESSION=$$ exec /usr/bin/python3 -I "$checks/keyrings.py" join bash "$0" "$@"
fi
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

# The host's secret, its /dev/shm and a file of root's for the watcher.
keyrings add sigsend-probe-secret s3cr3t-from-the-host >/dev/null
shm=$(stat -c 'device %d inode %i' /dev/shm)
shared=/dev/shm/sigsend-probe-host.$$ built=/dev/shm/sigsend-probe-build.$$ victim=$scratch/victim watcher=""
touch "$shared"
echo "a file of root's" >"$victim"
cp "$victim" "$scratch/victim.was"
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null; rm -f "$shared" "$built"; remove_temporaries' EXIT

# The planted configure step.
git clone -q "$source" "$scratch/clone"
cp "$checks/keyrings.py" "$scratch/clone/"
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
	echo "keyrings:"
	python3 "\$(dirname "\$0")/keyrings.py" list
	python3 "\$(dirname "\$0")/keyrings.py" add sigsend-probe-planted from-the-build >/dev/null
	echo "shm:"
	stat -c 'device %d inode %i' /dev/shm
	ls -A /dev/shm
	touch '$built' && echo "wrote $built"
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
git -C "$scratch/clone" add probe.sh keyrings.py CMakeLists.txt
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
# As nobody: each folder under TMPDIR that it finds, whether it may write
# there, and each link it planted.
# shellcheck disable=SC2016 # the watcher's own variables
watch='tmp=$1 victim=$2
while :; do
	for path in $({ cat /proc/[0-9]*/cmdline | tr "\0" "\n"; find "$tmp" -type d; } 2>/dev/null |
		grep -o "$tmp/[^ \"'\'']*" | sort -u); do
		while [[ $path == "$tmp"/* ]]; do
			if [ -d "$path" ]; then
				echo "seen: $path"
				if [ -w "$path" ]; then
					echo "writable: $path"
					for name in log set ready; do
						! ln -s "$victim" "$path/$name" 2>/dev/null || echo "planted: $path/$name"
					done
				fi
			fi
			path=${path%/*}
		done
	done
	sleep 0.2
done'
setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all bash -c "$watch" watcher "$tmp" "$victim" \
	>"$scratch/watched" 2>/dev/null &
watcher=$!
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
kill "$watcher"
wait "$watcher" 2>/dev/null || true
watcher=""
# What the watcher could do, and from here on every fault is named before the case fails.
faults=0
fault() { echo "FAILED: $*" >&2; faults=$((faults + 1)); }
writable=$(sed -n 's/^writable: //p; s/^planted: /planted /p' "$scratch/watched" | sort -u | tr '\n' ' ')
folders=$(sed -n 's/^seen: //p' "$scratch/watched" | sort -u | wc -l)
[ "$folders" -gt 0 ] || fault "the watcher found no folder under $tmp"
[ -z "$writable" ] || fault "nobody could write in folders under TMPDIR while the release ran: $writable"
cmp -s "$victim" "$scratch/victim.was" || fault "root wrote into $victim through a link: $(head -c 300 "$victim")"
[ "$faults" -ne 0 ] || echo "ok: nobody could write in any folder under TMPDIR that it found ($folders)"
watch_faults=$faults
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

# What the build reached of the case's keyrings and /dev/shm.
section() { # NAME: the first probe's lines under NAME:, on one line
	awk -v name="$1:" '$0 == name { on = 1; next } on && /^[a-z]+:$/ { exit } on { printf "%s%s", sep, $0; sep = "; " }' \
		"$out/planted.txt"
}
keys=$(section keyrings) seen_shm=$(section shm)
[[ $keys == *@s\ * ]] || fault "the probe listed no keyring: $(cat "$out/planted.txt")"
! grep -qe sigsend-probe-secret -e s3cr3t "$out/planted.txt" ||
	fault "the build saw the host's key: $(grep -e sigsend-probe-secret -e s3cr3t "$out/planted.txt" | sort -u | tr '\n' ' ')"
host=$(keyrings list)
! grep -q sigsend-probe-planted <<<"$host" || fault "the build left a key in the host's keyring: $(grep '^@s' <<<"$host")"
[ "$faults" -ne "$watch_faults" ] || echo "ok: the build's keyrings: $keys"
shm_faults=$faults
[ -n "$seen_shm" ] || fault "the probe listed no /dev/shm: $(cat "$out/planted.txt")"
[ "${seen_shm%%;*}" != "$shm" ] || fault "the build's /dev/shm is the host's ($shm): $seen_shm"
! grep -qF "${shared##*/}" "$out/planted.txt" || fault "the build saw ${shared##*/} in its /dev/shm: $seen_shm"
[ ! -e "$built" ] || fault "the build wrote $built on the host"
[ "$faults" -ne "$shm_faults" ] || echo "ok: the build's /dev/shm: $seen_shm (the host's: $shm)"
[ "$faults" -eq 0 ] || exit 1
rm -rf "$scratch"
