#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What scripts/release refuses before it builds anything, each a ctest case
# (label release), on a fresh clone of SOURCE's last commit:
#   full   an OUTDIR that holds anything, which it leaves as it was
#   key    a signing key that cannot sign, with nothing written
#   dirty  a tree with a change that is not committed
# Prints "skipped: WHY" where SOURCE is not a git checkout or a tool is missing.
# Usage: tests/refusals.sh full|key|dirty SOURCE SCRATCH
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: tests/refusals.sh full|key|dirty SOURCE SCRATCH" >&2; exit 2; }
mode=$1 source=$2 scratch=$3
fail() { echo "FAILED: $*" >&2; exit 1; }
command -v git >/dev/null || { echo "skipped: no git"; exit 0; }
git -C "$source" rev-parse --verify -q 'HEAD^{commit}' >/dev/null ||
	{ echo "skipped: $source is not a git checkout with a commit"; exit 0; }
rm -rf "$scratch"
mkdir -p "$scratch"
git clone -q "$source" "$scratch/clone"
# Runs the clone's release into OUTDIR: the status, and what it said.
release() { # OUTDIR [NAME=VALUE...]
	local out=$1 status=0
	shift
	env "$@" "$scratch/clone/scripts/release" "$out" >"$scratch/said" 2>&1 || status=$?
	[ "$status" -ne 0 ] || fail "the release went on ($mode): $(cat "$scratch/said")"
	echo "ok: refused, saying: $(cat "$scratch/said")"
}

case $mode in
full)
	mkdir "$scratch/out"
	touch "$scratch/out/sigsend-0.9.0-NOTICES.txt"
	release "$scratch/out"
	[ "$(ls -A "$scratch/out")" = sigsend-0.9.0-NOTICES.txt ] || fail "the release changed $scratch/out" ;;
key)
	command -v gpg >/dev/null || { echo "skipped: no gpg (the gnupg package)"; exit 0; }
	mkdir -m 700 "$scratch/gnupg"
	release "$scratch/out" GNUPGHOME="$scratch/gnupg" SIGSEND_SIGNING_KEY=nobody@example.org
	GNUPGHOME=$scratch/gnupg gpgconf --kill all 2>/dev/null || true
	[ ! -e "$scratch/out" ] || fail "the release wrote $scratch/out without its key" ;;
dirty)
	echo "// a change" >>"$scratch/clone/src/sigsend.cpp"
	release "$scratch/out"
	grep -q 'uncommitted changes' "$scratch/said" || fail "refused for another reason"
	[ ! -e "$scratch/out" ] || fail "the release wrote $scratch/out" ;;
*) fail "no mode $mode" ;;
esac
rm -rf "$scratch"
