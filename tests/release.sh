#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Checks of a release folder DIR of version VERSION, one per ctest case
# (label release):
#   files DIR VERSION [KEYRING]  DIR holds exactly the set that
#       cmake/architectures.txt calls for, and both signatures where KEYRING
#       is given or either is there; SHA256SUMS lists exactly the set, and
#       every file matches
#   licences DIR                 each .deb's copyright stanza and each .rpm's
#       License tag give the expression of the SBOM whose binary is the one
#       inside; both name what the binary bundles
#   buildinfo DIR VERSION        the buildinfo is deb-buildinfo(5)'s form,
#       its checksums are those of every other file of the set, its date is
#       its SOURCE_DATE_EPOCH, and every Debian package that an SBOM names
#       is in its Installed-Build-Depends at that version, from the Debian
#       release that its base-files is; the SBOMs name its commit
#   lint DIR                     lintian and rpmlint are clean
#   signatures DIR VERSION KEYRING  both signatures are good by KEYRING's
#       keys, and an altered SHA256SUMS is refused
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
skip() { echo "skipped: $*"; exit 0; }
need() { command -v "$1" >/dev/null || skip "no $1 (the $2 package brings it)"; }
dir=${2:?usage: tests/release.sh files|buildinfo|licences|lint|signatures DIR ...}
[ -d "$dir" ] || fail "$dir is not a folder"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The release's SBOM that lists BINARY's SHA-256.
sbom_of() {
	local sha found
	sha=$(sha256sum "$1" | cut -d' ' -f1)
	found=$(jq -r --arg sha "$sha" \
		'select(.packages[0].checksums[0].checksumValue == $sha) | input_filename' "$dir"/*.spdx.json)
	[ -n "$found" ] || fail "no SBOM in $dir lists the binary $sha of $2"
	echo "$found"
}

case $1 in
files)
	version=${3:?}
	while read -r debian platform rpm _; do
		printf '%s\n' "sigsend-$version-linux-$platform" "sigsend-$version-linux-$platform.spdx.json" \
			"sigsend_${version}_$debian.deb" "sigsend-$version-1.$rpm.rpm"
	done < <(grep '^[a-z0-9]' "$here/../cmake/architectures.txt") >"$scratch/set"
	printf '%s\n' "sigsend-$version-NOTICES.txt" "sigsend-$version.oci.tar" \
		"sigsend-$version.openvex.json" "sigsend-$version.tar.gz" "sigsend-$version.buildinfo" >>"$scratch/set"
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
	echo "ok: $dir holds the $(wc -l <"$scratch/set") files of $(grep -c '^[a-z0-9]' "$here/../cmake/architectures.txt") architectures, each as SHA256SUMS lists it" ;;
buildinfo)
	version=${3:?}
	info=$dir/sigsend-$version.buildinfo
	[ -f "$info" ] || fail "no $info"
	# The lines of FIELD's value, for a multiline field those after its name.
	field() { awk -v name="$1:" '/^[^ ]/ { on = ($1 == name); if (on) { sub(/^[^:]*: ?/, ""); if ($0 != "") print }; next }
		on { sub(/^ /, ""); print }' "$info"; }
	bad=$(grep -n -v -E '^([A-Za-z0-9-]+:( .*)?| .+)$' "$info" || true)
	[ -z "$bad" ] || fail "$info: lines that are neither a field nor a continuation: $bad"
	for name in Format Source Binary Architecture Version Checksums-Md5 Checksums-Sha1 Checksums-Sha256 \
		Build-Origin Build-Architecture Build-Date Installed-Build-Depends Environment; do
		[ -n "$(field "$name")" ] || fail "$info has no $name"
	done
	{ [ "$(field Format)" = 1.0 ] && [ "$(field Source)" = sigsend ] && [ "$(field Version)" = "$version" ]; } ||
		fail "$info: Format, Source or Version is not 1.0, sigsend, $version"
	(cd "$dir" && find . -maxdepth 1 -type f ! -name SHA256SUMS ! -name '*.asc' ! -name "${info##*/}" -printf '%P\n' |
		LC_ALL=C sort) >"$scratch/others"
	for sum in md5 sha1 sha256; do
		while read -r file; do
			echo "$("${sum}sum" "$dir/$file" | cut -d' ' -f1) $(stat -c %s "$dir/$file") $file"
		done <"$scratch/others" >"$scratch/want"
		field "Checksums-${sum^}" | LC_ALL=C sort -k3 | diff - "$scratch/want" >/dev/null ||
			fail "$info: Checksums-${sum^} does not list every other file of the set as it is"
	done
	epoch=$(field Environment | sed -n 's/^SOURCE_DATE_EPOCH="\([0-9]*\)"$/\1/p')
	{ [ -n "$epoch" ] && [ "$(LC_ALL=C date -u -R -d "@$epoch")" = "$(field Build-Date)" ]; } ||
		fail "$info: Build-Date is not its SOURCE_DATE_EPOCH"
	native=$(field Build-Architecture) release=$(field Installed-Build-Depends | sed -n 's/^base-files (= \([0-9]*\).*/\1/p')
	[ -n "$release" ] || fail "$info lists no base-files, which says the Debian release"
	revision=$(field Git-Commit)
	for sbom in "$dir"/*.spdx.json; do
		[ "$(jq -r .packages[0].sourceInfo "$sbom")" = "built from git commit $revision" ] ||
			fail "$sbom does not name the buildinfo's commit $revision"
		jq -r '.packages[].externalRefs[]?.referenceLocator | select(startswith("pkg:deb/"))' "$sbom" |
			while IFS= read -r purl; do
				name=${purl#pkg:deb/*/} name=${name%%@*} packaged=${purl#*@} packaged=${packaged%%\?*}
				arch=${purl#*arch=} arch=${arch%%&*} distro=${purl#*distro=} distro=${distro%%&*}
				[ "$arch" = source ] && continue
				[ "$arch" = "$native" ] || [ "$arch" = all ] || name=$name:$arch
				[ "$distro" = "debian-$release" ] || fail "$sbom: $purl is not from Debian $release"
				grep -qxF "$name (= ${packaged//%2B/+})," <(field Installed-Build-Depends | sed 's/,*$/,/') ||
					fail "$sbom names $name ${packaged//%2B/+}, which $info does not list"
			done
	done
	echo "ok: $info lists the $(wc -l <"$scratch/others") other files, $(field Installed-Build-Depends | wc -l) packages of Debian $release and every one that the SBOMs name" ;;
licences)
	need rpm2cpio rpm
	need cpio cpio
	for deb in "$dir"/*.deb; do
		dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/bin/sigsend >"$scratch/sigsend"
		sbom=$(sbom_of "$scratch/sigsend" "$deb")
		dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/sigsend/copyright >"$scratch/copyright"
		grep -q '^Comment: Linked statically with musl ' "$scratch/copyright" ||
			fail "$deb: its copyright does not say what is linked"
		stanza=$(sed -n '/^Files: usr\/bin\/sigsend$/,/^License:/s/^License: //p' "$scratch/copyright")
		# Debian's short names for SPDX's, as the copyright format gives them.
		debian=$(jq -r '.packages[0].licenseConcluded | ascii_downcase | gsub(" and "; " ")
			| gsub("gpl-3.0-or-later with gcc-exception-3.1"; "gpl-3+ with gcc-exception-3.1 exception")' "$sbom")
		[ "$(tr '[:upper:]' '[:lower:]' <<<"${stanza// and / }")" = "$debian" ] ||
			fail "$deb: its copyright gives '$stanza', the SBOM ${sbom##*/} '$debian'"
		built_using=$(dpkg-deb -f "$deb" Static-Built-Using)
		[[ $built_using =~ ^musl\ \(=\ [^\)]+\),\ gcc-[0-9a-z-]+\ \(=\ [^\)]+\)$ ]] ||
			fail "$deb: Static-Built-Using '$built_using'"
		echo "ok: ${deb##*/}: $stanza; Static-Built-Using: $built_using"
	done
	for rpm in "$dir"/*.rpm; do
		rpm2cpio "$rpm" | (cd "$scratch" && cpio -i --quiet --to-stdout ./usr/bin/sigsend) >"$scratch/sigsend"
		licenses=$(jq -r '.packages[0].licenseConcluded' "$(sbom_of "$scratch/sigsend" "$rpm")")
		want="$licenses; /usr/share/doc/sigsend/NOTICES /usr/share/doc/sigsend/copyright "
		got="$(rpm -qp --qf '%{LICENSE}' "$rpm"); $(rpm -qpL "$rpm" | tr '\n' ' ')"
		[ "$got" = "$want" ] || fail "$rpm: licence and %license files: $got, not $want"
		rpm -qp --provides "$rpm" | grep -q -x 'bundled(musl) = [0-9.]*' || fail "$rpm provides no bundled(musl)"
		echo "ok: ${rpm##*/}: $licenses, bundled(musl)"
	done ;;
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
*) echo "usage: tests/release.sh files|buildinfo|licences|lint|signatures DIR ..." >&2; exit 2 ;;
esac
