#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Checks of what a build tree makes, one per ctest case (label package):
#   static BINARY          the executable has no interpreter and no shared
#                          libraries
#   manual PAGE            the manual renders without a warning
#   packages BUILD SCRATCH cpack by a builder whose umask is 077 gives a .deb
#                          and an .rpm that are lint-clean, with the modes
#                          their users expect, the fallback depending on the
#                          C library at the version dpkg-shlibdeps found
#   installs BUILD SCRATCH the .deb alone installs into a root of its own that
#                          holds only the host's records of its Depends, and
#                          its sigsend stops a sleeper started here
# Prints "skipped: WHY" and exits 0 where a tool it needs is missing: a
# fresh Debian with the README's packages has no rpmbuild and no lintian.
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
here=$(cd "$(dirname "$0")" && pwd)
# The fallback's .deb is packed with dpkg-shlibdeps, for which cpack asks
# `file` which files are programs.
need_deb() { # BUILD
	need dpkg-deb dpkg
	[ -e "$1/notices/sigsend.spdx.json" ] || need file file
}
# Packs BUILD's packages of GENERATORS into SCRATCH, as a builder whose umask
# is 077.
pack() { # BUILD SCRATCH GENERATORS
	rm -rf "$2" && mkdir -p "$2"
	(umask 077 && cd "$1" && "${CPACK:-cpack}" -G "$3" -B "$2" >"$2/cpack.log" 2>&1) ||
		fail "cpack in $1: $(cat "$2/cpack.log")"
}

case ${1:-} in
static)
	need readelf binutils
	headers=$(readelf -lW "$2") || fail "readelf cannot read $2"
	! grep -q INTERP <<<"$headers" || fail "$2 names an interpreter"
	dynamic=$(readelf -dW "$2") || fail "readelf cannot read $2"
	! grep -q NEEDED <<<"$dynamic" || fail "$2 needs shared libraries: $(grep NEEDED <<<"$dynamic")"
	echo "ok: $2 is static" ;;
manual)
	need groff groff-base
	need mandoc mandoc
	said=$(groff -man -ww -z "$2" 2>&1) || fail "groff: $said"
	[ -z "$said" ] || fail "groff warns: $said"
	mandoc -Tlint -W warning "$2" || fail "mandoc warns about $2"
	echo "ok: $2 renders without a warning" ;;
packages)
	need_deb "$2"
	need rpmbuild rpm
	need lintian lintian
	need rpmlint rpmlint
	pack "$2" "$3" "DEB;RPM"
	deb=$(echo "$3"/*.deb) rpm=$(echo "$3"/*.rpm)
	[ -f "$deb" ] || fail "cpack made no single .deb: $deb"
	[ -f "$rpm" ] || fail "cpack made no single .rpm: $rpm"
	modes=$(dpkg-deb -c "$deb" | awk '{ print $1, $6 }' | grep -v -E '^(drwxr-xr-x|-rw-r--r--) ' |
		grep -v -x -- '-rwxr-xr-x ./usr/bin/sigsend' || true)
	[ -z "$modes" ] || fail "$deb holds files of other modes: $modes"
	depends=$(dpkg-deb -f "$deb" Depends)
	if [ -e "$2/notices/sigsend.spdx.json" ]; then
		[ -z "$depends" ] || fail "the static package depends on '$depends'"
	elif command -v dpkg-shlibdeps >/dev/null; then
		[[ $depends =~ ^libc6\ \(\>=\ [0-9.]+\)$ ]] || fail "the fallback depends on '$depends'"
	fi
	lintian --fail-on error,warning "$deb" || fail "lintian on $deb"
	sbom=()
	[ ! -e "$2/notices/sigsend.spdx.json" ] || sbom=("$2/notices/sigsend.spdx.json")
	"$here/rpmlint.sh" "${sbom[@]}" -- "$rpm" || fail "rpmlint on $rpm"
	echo "ok: ${deb##*/} and ${rpm##*/}: lint-clean, modes 0755 and 0644, Depends '$depends'" ;;
installs)
	need_deb "$2"
	pack "$2" "$3" DEB
	root=$3/root
	mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
	touch "$root/var/lib/dpkg/status"
	deb=$(echo "$3"/*.deb)
	# The root holds no packages, and the fallback's sigsend runs on the
	# host's C library: the host's records of what the package depends on go
	# into the root, so that dpkg checks the versions against them.
	arch=$(dpkg-deb -f "$deb" Architecture) || fail "dpkg-deb cannot read $deb"
	depends=$(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g')
	for name in $depends; do
		dpkg-query -s "$name:$arch" >>"$root/var/lib/dpkg/status" 2>"$3/query.err" ||
			fail "the host has no $name:$arch, which the package depends on: $(cat "$3/query.err")"
		echo >>"$root/var/lib/dpkg/status"
	done
	# A root of its own, which may hold a package for another architecture.
	dpkg --force-not-root --force-architecture --root="$root" --log="$3/dpkg.log" -i "$deb" \
		>"$3/dpkg.out" 2>&1 ||
		fail "dpkg -i: $(cat "$3/dpkg.out")"
	sleep 60 &
	pid=$!
	trap 'kill "$pid" 2>/dev/null || true' EXIT
	# Until the job has become sleep it is a copy of this shell; it ends the
	# wait as well if it has exited.
	while cmp -s "/proc/$pid/cmdline" "/proc/$$/cmdline"; do :; done
	said=$("$root/usr/bin/sigsend" "$pid" 15 2>&1) || fail "the installed sigsend exited $?"
	status=0
	wait "$pid" || status=$?
	trap - EXIT
	[ -z "$said" ] || fail "the installed sigsend said '$said'"
	[ "$status" -eq 143 ] || fail "the sleeper ended with $status, not by signal 15"
	echo "ok: the installed sigsend stopped a sleeper" ;;
*) usage "static|manual|packages|installs ARGS" ;;
esac
