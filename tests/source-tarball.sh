#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The tarball stage (scripts/documents/tarball.py), which makes the release's source tarball, on
# fresh clones of SOURCE's last commit (label release):
#   settings  a checkout whose .git/info/attributes export-ignores a file or
#             runs a filter on every file, whose config turns line ends into
#             CRLF, or whose replace refs swap a file's content, gives the
#             same bytes as a clean clone; and that tarball holds exactly
#             the files that git lists, with their modes
#   refuses   a commit whose own .gitattributes drops one file from the
#             archive (export-ignore) and rewrites another (export-subst)
#             is refused, both named, and no tarball is left
# Usage: tests/source-tarball.sh settings|refuses SOURCE SCRATCH
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 3 ] || usage "settings|refuses SOURCE SCRATCH"
mode=$1 source=$2 scratch=$3
need_checkout "$source"
rm -rf "$scratch"
mkdir -p "$scratch"
# A fresh clone of SOURCE in scratch/NAME, with an identity for commits.
clone() { # NAME
	git clone -q "$source" "$scratch/$1"
	git -C "$scratch/$1" config user.name probe
	git -C "$scratch/$1" config user.email probe@example.org
}
# The tarball of NAME's last commit into scratch/NAME.out: the status.
tarball() { # NAME
	local revision
	revision=$(git -C "$scratch/$1" rev-parse HEAD)
	mkdir "$scratch/$1.out"
	/usr/bin/python3 -I -B "$source/scripts/documents" tarball "$scratch/$1" "$revision" \
		"$scratch/$1.out/sigsend-0.0.0.tar.gz" >"$scratch/$1.said" 2>&1
}

case $mode in
settings)
	clone clean
	tarball clean || fail "no tarball of a clean clone: $(cat "$scratch/clean.said")"
	expected=$(git -C "$scratch/clean" ls-tree -r --format='%(objectmode) %(path)' HEAD | LC_ALL=C sort)
	listed=$(tar -tvzf "$scratch/clean.out/sigsend-0.0.0.tar.gz" | awk '$1 !~ /^d/ {
		mode = ($1 ~ /^l/) ? "120000" : ($1 ~ /x/) ? "100755" : "100644"
		sub(/^sigsend-0\.0\.0\//, "", $6); print mode " " $6 }' | LC_ALL=C sort)
	[ "$listed" = "$expected" ] || fail "the tarball is not the commit's files:"$'\n'"$(diff <(echo "$expected") <(echo "$listed"))"
	clone attributes
	echo 'HACKING.md export-ignore' >"$scratch/attributes/.git/info/attributes"
	clone crlf
	git -C "$scratch/crlf" config core.autocrlf true
	git -C "$scratch/crlf" config core.eol crlf
	clone filter
	git -C "$scratch/filter" config filter.upper.smudge 'tr a-z A-Z'
	echo '* filter=upper' >"$scratch/filter/.git/info/attributes"
	clone replaced
	blob=$(echo "not the README" | git -C "$scratch/replaced" hash-object -w --stdin)
	git -C "$scratch/replaced" replace "$(git -C "$scratch/replaced" rev-parse HEAD:README.md)" "$blob"
	for name in attributes crlf filter replaced; do
		changes=$(git -C "$scratch/$name" status --porcelain)
		[ -z "$changes" ] || fail "the $name clone is not clean, as a release wants it: $changes"
		tarball "$name" || fail "no tarball of the $name clone: $(cat "$scratch/$name.said")"
		cmp -s "$scratch/clean.out/sigsend-0.0.0.tar.gz" "$scratch/$name.out/sigsend-0.0.0.tar.gz" ||
			fail "the $name clone's tarball is not the clean clone's"
		echo "ok: the $name clone gives the clean clone's tarball"
	done ;;
refuses)
	clone committed
	printf 'HACKING.md export-ignore\nREADME.md export-subst\n' >"$scratch/committed/.gitattributes"
	# shellcheck disable=SC2016 # git's placeholder, for git archive
	echo 'Commit: $Format:%H$' >>"$scratch/committed/README.md"
	git -C "$scratch/committed" add .gitattributes README.md
	git -C "$scratch/committed" commit -q -m "archive attributes"
	! tarball committed || fail "a tarball that is not the commit was made: $(cat "$scratch/committed.said")"
	grep -q 'not in the tarball: HACKING.md' "$scratch/committed.said" || fail "HACKING.md not named: $(cat "$scratch/committed.said")"
	grep -q 'differs: *README.md' "$scratch/committed.said" || fail "README.md not named: $(cat "$scratch/committed.said")"
	[ -z "$(ls -A "$scratch/committed.out")" ] || fail "the refused tarball was left: $(ls -A "$scratch/committed.out")"
	echo "ok: refused, saying: $(cat "$scratch/committed.said")" ;;
*) fail "no mode $mode" ;;
esac
rm -rf "$scratch"
