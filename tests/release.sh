#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Checks of a release folder DIR of version VERSION, one per ctest case
# (label release); tests/release.py has those that read its documents:
#   files DIR VERSION [KEYRING]  DIR holds exactly the set that
#       cmake/architectures.txt calls for, and both signatures where KEYRING
#       is given or either is there; SHA256SUMS lists exactly the set, and
#       every file matches
#   lint DIR                     lintian and rpmlint are clean
#   signatures DIR VERSION KEYRING  both signatures are good by KEYRING's
#       keys, and an altered SHA256SUMS is refused
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
here=$(cd "$(dirname "$0")" && pwd)
dir=${2:?usage: tests/release.sh files|lint|signatures DIR ...}
[ -d "$dir" ] || fail "$dir is not a folder"
scratch="" && temporary scratch
case $1 in
files)
	version=${3:?}
	rows=$(table debian) || fail "cannot read cmake/architectures.txt"
	# The release's own list of its files, the one that its build checks its set against.
	/usr/bin/python3 -I -B "$here/../scripts/documents" files "$version" >"$scratch/set" ||
		fail "the documents package lists no files"
	sort -o "$scratch/set" "$scratch/set"
	# A signed release holds both signatures; KEYRING says it must be signed.
	signed=${4:-}
	[ ! -e "$dir/SHA256SUMS.asc" ] && [ ! -e "$dir/sigsend-$version.tar.gz.asc" ] || signed=yes
	{ cat "$scratch/set"; echo SHA256SUMS; [ -z "$signed" ] ||
		printf '%s\n' SHA256SUMS.asc "sigsend-$version.tar.gz.asc"; } | sort >"$scratch/all"
	find "$dir" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort >"$scratch/held"
	diff -u "$scratch/all" "$scratch/held" >"$scratch/diff" ||
		fail "$dir does not hold the release set (- missing, + not in it):$(tail -n +3 "$scratch/diff" | grep '^[-+]' | tr '\n' ' ')"
	[ -f "$dir/SHA256SUMS" ] || fail "no $dir/SHA256SUMS"
	sed 's/^[0-9a-f]\{64\}  //' "$dir/SHA256SUMS" | sort | diff -u "$scratch/set" - >"$scratch/diff" ||
		fail "SHA256SUMS does not list exactly the set:$(tail -n +3 "$scratch/diff" | grep '^[-+]' | tr '\n' ' ')"
	(cd "$dir" && sha256sum -c --quiet SHA256SUMS) 2>&1 || fail "files in $dir do not match SHA256SUMS"
	echo "ok: $dir holds the $(wc -l <"$scratch/set") files of $(wc -l <<<"$rows") architectures, each as SHA256SUMS lists it" ;;
lint)
	need lintian lintian
	need rpmlint rpmlint
	lintian --fail-on error,warning "$dir"/*.deb || fail "lintian"
	"$here/rpmlint.sh" "$dir"/*.spdx.json -- "$dir"/*.rpm || fail "rpmlint"
	echo "ok: lintian and rpmlint are clean" ;;
signatures)
	version=${3:?} keyring=${4:?}
	need gpgv gpgv
	for file in SHA256SUMS "sigsend-$version.tar.gz"; do
		gpgv --keyring "$keyring" "$dir/$file.asc" "$dir/$file" 2>"$scratch/said" ||
			fail "gpgv refuses $file: $(cat "$scratch/said")"
		echo "ok: $file.asc is a good signature"
	done
	sed '1{s/^0/1/;t;s/^./0/}' "$dir/SHA256SUMS" >"$scratch/altered"
	! gpgv --keyring "$keyring" "$dir/SHA256SUMS.asc" "$scratch/altered" 2>/dev/null ||
		fail "gpgv accepted an altered SHA256SUMS"
	echo "ok: an altered SHA256SUMS is refused" ;;
*) usage "files|lint|signatures DIR ..." ;;
esac
