#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The builder's pins (scripts/documents/root.py), the buildinfo that a rebuild hands it (label
# rebuild):
#   syntax   a pin that is not a Debian package and version ("NAME[:ARCH]
#            (= VERSION)"), or whose name or version starts with '-', is
#            refused before any root is made
#   missing  a pinned version that the archive does not serve fails after
#            one apt update, within four minutes, naming the package, the
#            version and the snapshot to rebuild from (needs the network
#            and a root)
# Usage: tests/pins.sh syntax|missing SOURCE SCRATCH
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 3 ] || usage "syntax|missing SOURCE SCRATCH"
mode=$1 source=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch/set"
# The builder with PINS, a buildinfo of these Installed-Build-Depends
# lines; the status, and what it said in scratch/said.
builder() { # TMPDIR LINE...
	local tmp=$1
	shift
	{
		echo "Format: 1.0"
		echo "Archive-Dates:"
		echo " trixie 20250809T093159Z"
		echo "Installed-Build-Depends:"
		printf ' %s\n' "$@"
	} >"$scratch/pins"
	TMPDIR=$tmp SOURCE_DATE_EPOCH=0 /usr/bin/python3 -I -B "$source/scripts/documents" builder --pins "$scratch/pins" \
		"$scratch/sigsend-0.0.0.tar.gz" "$(printf '%040d' 0)" "$scratch/set" >"$scratch/said" 2>&1
}
gzip -n </dev/null >"$scratch/sigsend-0.0.0.tar.gz"

case $mode in
syntax)
	# shellcheck disable=SC2016 # a command substitution that must stay text
	for pin in '-oAPT::Get::AllowUnauthenticated=1 (= 1.0)' 'jq (= -1.0)' 'jq (= 1.0 -y)' 'jq (>= 1.0)' \
		'jq' 'jq:amd64;true (= 1.0)' 'jq (= $(id))' 'Jq (= 1.0)'; do
		! builder "$scratch" 'make (= 4.4.1-2)' "$pin" || fail "the pin '$pin' was taken: $(cat "$scratch/said")"
		grep -qF "pins '$pin'" "$scratch/said" || fail "the pin '$pin' was refused for another reason: $(cat "$scratch/said")"
		[ -z "$(ls -A "$scratch/set")" ] || fail "the builder wrote into the set for '$pin'"
	done
	echo "ok: every malformed pin refused, such as: $(cat "$scratch/said")" ;;
missing)
	need_root_maker
	getent hosts deb.debian.org >/dev/null || { echo "skipped: deb.debian.org has no address here"; exit 0; }
	# A TMPDIR on a path that the root's namespace may walk.
	tmp="" && temporary tmp
	chmod 711 "$tmp"
	started=$(date +%s)
	! builder "$tmp" 'jq (= 0.0-1)' || fail "a root was made with jq 0.0-1: $(cat "$scratch/said")"
	took=$(($(date +%s) - started))
	for word in jq 0.0-1 '--snapshot' 20250809T093159Z; do
		grep -qF -- "$word" "$scratch/said" || fail "the failure does not name $word: $(cat "$scratch/said")"
	done
	[ "$took" -lt 240 ] || fail "the failure took $took s: $(cat "$scratch/said")"
	! grep -q 'try 2' "$scratch/said" || fail "the root was made again: $(cat "$scratch/said")"
	echo "ok: failed in $took s, saying: $(tr "\n" " " <"$scratch/said")" ;;
*) fail "no mode $mode" ;;
esac
rm -rf "$scratch"
