#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# scripts/rebuild on the release in DIR (label rebuild): the rebuild, in a
# root made afresh from DIR's buildinfo, must find every file the same.
# Then a copy of DIR with one byte of a binary changed and SHA256SUMS
# rewritten to match (so sha256sum -c passes) must fail against that
# rebuild, naming the binary; with KEYRING, the signature of its SHA256SUMS
# is checked first (--keyring) and refuses that copy, without KEYRING the
# release is taken as one built here (--unsigned). Prints "skipped: WHY"
# where no root can be made.
# Usage: tests/rebuild.sh DIR SCRATCH [KEYRING]
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
dir=$1 scratch=$2 keyring=${3:-}
source=$(cd "$(dirname "$0")/.." && pwd)
rebuild=$source/scripts/rebuild
need_root_maker
rm -rf "$scratch"
mkdir -p "$scratch"
if [ -n "$keyring" ]; then
	trust=(--keyring "$keyring")
else
	trust=(--unsigned)
fi
"$rebuild" "${trust[@]}" --keep "$scratch/rebuilt" "$dir" >"$scratch/good" || fail "the rebuild differs:"$'\n'"$(grep -v '^same' "$scratch/good")"
echo "ok: $(tail -n 1 "$scratch/good") ($(grep -c '^same' "$scratch/good") files)"

cp -a "$dir" "$scratch/doctored"
# The binary of the table's second row, whose platform names it.
platforms=$(table platform) || fail "cannot read cmake/architectures.txt"
platform=$(sed -n 2p <<<"$platforms")
binary=$(cd "$scratch/doctored" && compgen -G "sigsend-*-linux-$platform")
printf 'X' | dd of="$scratch/doctored/$binary" bs=1 seek=100 conv=notrunc status=none
sum=$(cd "$scratch/doctored" && sha256sum "$binary")
sed -i "s/^[0-9a-f]\{64\}  $binary\$/$sum/" "$scratch/doctored/SHA256SUMS"
(cd "$scratch/doctored" && sha256sum -c --quiet SHA256SUMS) || fail "the doctored SHA256SUMS does not match its files"
if [ -n "$keyring" ]; then
	! "$rebuild" --keyring "$keyring" --against "$scratch/rebuilt" "$scratch/doctored" >"$scratch/doctored.said" 2>&1 ||
		fail "the rebuild took a SHA256SUMS that its signature does not cover: $(cat "$scratch/doctored.said")"
	grep -q 'BAD signature' "$scratch/doctored.said" || fail "refused for another reason: $(cat "$scratch/doctored.said")"
	echo "ok: the rewritten SHA256SUMS is refused: $(grep 'BAD signature' "$scratch/doctored.said")"
fi
! "$rebuild" --unsigned --against "$scratch/rebuilt" "$scratch/doctored" >"$scratch/doctored.said" 2>&1 ||
	fail "the rebuild took a changed $binary: $(cat "$scratch/doctored.said")"
grep -qx "DIFFERS  $binary" "$scratch/doctored.said" || fail "the rebuild did not name $binary: $(cat "$scratch/doctored.said")"
echo "ok: a changed $binary with its SHA256SUMS line rewritten is caught: $(grep -E '^(DIFFERS|only in)' "$scratch/doctored.said" | tr '\n' ' ')"
rm -rf "$scratch"
