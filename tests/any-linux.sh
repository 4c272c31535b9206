#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The default build works on any Linux: where dpkg-query is missing, or musl
# lies in a prefix that no package owns, nothing can name who supplied musl,
# so the build falls back to the host C library and says why; asked for
# musl outright, it stops instead. musl is copied from SPECS's folder into a
# prefix of SCRATCH's, its specs file rewritten to point there.
# Usage: tests/any-linux.sh SOURCE SCRATCH SPECS CMAKE
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 4 ] || usage "SOURCE SCRATCH SPECS CMAKE"
source=$1 scratch=$2 specs=$3 cmake=$4
need readelf binutils
rm -rf "$scratch"
mkdir -p "$scratch/hidden" "$scratch/prefix/lib" "$scratch/prefix/include"
# A dpkg-query that is not there, as on a system without dpkg.
printf '#!/bin/sh\necho "dpkg-query: command not found" >&2\nexit 127\n' >"$scratch/hidden/dpkg-query"
chmod +x "$scratch/hidden/dpkg-query"
lib=$(sed -n 's/^-L\(\/[^ ]*\).*/\1/p' "$specs")
include=$(sed -n 's/.*-isystem \(\/[^ ]*\) .*/\1/p' "$specs" | head -n 1)
cp -r "$lib/." "$scratch/prefix/lib/"
cp -r "$include/." "$scratch/prefix/include/"
rm -f "$scratch/prefix/lib/source"
sed "s#$lib#$scratch/prefix/lib#g; s#$include#$scratch/prefix/include#g" "$specs" \
	>"$scratch/prefix/lib/musl-gcc.specs"

# Configures and builds in SCRATCH/NAME with PATH and the cache settings
# given; sets said (all that cmake printed) and built (the executable).
build() { # NAME PATH SETTING...
	local tree=$scratch/$1 path=$2
	shift 2
	said=$(PATH=$path "$cmake" -S "$source" -B "$tree" -DBUILD_TESTING=OFF "$@" 2>&1) ||
		{ said=$(tr -s ' \n' ' ' <<<"$said"); return 1; }
	said+=$(PATH=$path "$cmake" --build "$tree" --target sigsend 2>&1) || fail "the build in $tree: $said"
	said=$(tr -s ' \n' ' ' <<<"$said")
	built=$tree/sigsend
}
# The build in NAME fell back, saying so, and its executable runs.
fell_back() { # NAME WHY
	grep -q "building against the system C library, because $2" <<<"$said" ||
		fail "$1 did not say that it fell back because $2: $said"
	readelf -lW "$built" | grep -q INTERP || fail "$1 built a static executable"
	[ "$("$built")" = "Arguments : pid sig" ] || fail "$1's sigsend does not run"
	echo "ok: $1: fell back to the host C library, saying why"
}
build hidden "$scratch/hidden:$PATH" || fail "configuring without dpkg-query: $said"
fell_back "without dpkg-query" "the musl in $lib belongs to no package that dpkg-query knows"
build unowned "$PATH" -DSIGSEND_MUSL_SPECS="$scratch/prefix/lib/musl-gcc.specs" ||
	fail "configuring with an unowned musl: $said"
fell_back "with musl in a prefix no package owns" "the musl in $scratch/prefix/lib belongs to no package"
! build strict "$PATH" -DSIGSEND_MUSL_SPECS="$scratch/prefix/lib/musl-gcc.specs" -DSIGSEND_LIBC=musl ||
	fail "SIGSEND_LIBC=musl went on with an unowned musl"
grep -q "SIGSEND_LIBC=musl, but the musl in $scratch/prefix/lib belongs to no package" <<<"$said" ||
	fail "SIGSEND_LIBC=musl stopped for another reason: $said"
echo "ok: SIGSEND_LIBC=musl stops, naming why"
rm -rf "$scratch"
