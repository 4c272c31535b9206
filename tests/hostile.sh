#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# scripts/rebuild on release folders that a stranger made. Each case first
# rebuilds an honest hand-made release (label release) from a checkout, a
# git repository of this checkout's scripts with a stand-in for the root
# that leaves a mark and the release's own files as the rebuilt set, so no
# root is made; the release's tarball is `git archive` of the checkout's
# commit, and its own root, which must never run, marks that it ran. Then
# the stranger's change:
#   unlisted  a buildinfo and tarball of another version, which SHA256SUMS
#             (well signed) does not list, in place of the listed buildinfo:
#             refused, and nothing of that tarball runs
#   signature a changed SHA256SUMS or a missing signature, with --keyring:
#             refused with gpgv's reason
#   option    an apt option as a package line of the buildinfo: refused at
#             once with --keyring (the buildinfo no longer matches), and
#             with --unsigned and SHA256SUMS rewritten to match
#   symlink   a listed file that is a symbolic link, in DIR or in --against
#   keyless   neither --keyring nor --unsigned: refused before DIR is read
#   beside    the README's sigsend.gpg and signer.asc in DIR: named as not
#             part of the release, and no failure
#   blank     a file named as a listed one with a leading blank
#   meanwhile a listed file changed in DIR while the build runs: what is
#             compared is the copy that was checked, so the change is moot
#   repacked  a tarball, well signed and rebuilt the same, that is not the
#             commit: a file changed, a mode changed, a file added; each
#             refused, naming the tarball and the entry, before it builds
#   commit    a release of the checkout's parent commit: refused, naming
#             both, unless --commit names it; --commit of another commit,
#             or of one the checkout lacks, is refused
#   checkout  rebuild run from a copy that is no git checkout: refused,
#             saying so, unless --no-checkout, which says the tarball was
#             compared with no commit
#   oversized a 300 MB (sparse) SHA256SUMS.asc, SHA256SUMS, buildinfo or
#             listed file: refused, naming the file (the first three the
#             bound, 1 MiB), with no file beyond 1 MiB ever written
#   invisible a well signed SHA256SUMS that lists a name with U+202E or
#             U+2028: refused, naming the line, never printing it raw
#   escapes   a rebuilt file that differs, holding escapes that set the
#             terminal's title and hide what follows, and names with
#             escapes on either side: no ESC or BEL reaches the output
# and (label rebuild) on the release in DIR:
#   stops     SIGTERM while dpkg fills the rebuild's root: it ends with 143,
#             leaving no process, nothing in its TMPDIR or /var/tmp and no
#             --keep folder
# The signing key is made for the case, in a GNUPGHOME of its own, and its
# agent is stopped at the end. Prints "skipped: WHY" where a tool is missing
# or (stops) no root can be made.
# Usage: tests/hostile.sh MODE SCRATCH [DIR]
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -ge 2 ] || usage "MODE SCRATCH [DIR]"
mode=$1 scratch=$2 release=${3:-}
source=$(cd "$(dirname "$0")/.." && pwd)
rebuild=$source/scripts/rebuild
case $mode in
keyless | stops) ;;
*)
	need git git
	need gpg gnupg
	need gpg-agent gpg-agent # which makes the case's key
	need gpgv gpgv ;;
esac
rm -rf "$scratch"
mkdir -p "$scratch"
export GNUPGHOME=$scratch/gnupg
# Whatever ends the case, the rebuild it started (stops) and its gpg-agent end too.
first=""
cleanup() {
	[ -z "$first" ] || kill -TERM "$first" 2>/dev/null || true
	[ -z "$first" ] || wait "$first" 2>/dev/null || true
	gpgconf --kill all 2>/dev/null || true
}
trap cleanup EXIT
mkdir -m 700 "$GNUPGHOME"
if [ "$mode" != stops ] && [ "$mode" != keyless ]; then
	# The checkout that rebuilds: a git repository whose one commit is the
	# releases' (the stand-in's builder acts only there and in the copy of
	# the checkout mode; run from a tarball, it marks that it ran and fails).
	checkout=$scratch/checkout
	mkdir -p "$checkout/cmake"
	cp -r "$source/scripts" "$source/CMakeLists.txt" "$checkout/"
	cp "$source/cmake/architectures.txt" "$checkout/cmake/"
	stand_in "$checkout" <<EOF
def build(tarball, revision, out, **options):
    import os, shutil, subprocess
    if not os.path.realpath(__file__).startswith(("$checkout/", "$scratch/plain/")):
        open("$scratch/tarball-ran", "w").close()
        raise SystemExit(1)
    open("$scratch/built", "w").close()
    for name in os.listdir("$scratch/set"):
        shutil.copy2(os.path.join("$scratch/set", name), out)
    if os.access("$scratch/meanwhile", os.X_OK):
        subprocess.run(["$scratch/meanwhile"], check=True)
EOF
	git init -q "$checkout"
	commit() { # MESSAGE: all of the checkout, as a commit
		git -C "$checkout" add -A
		git -C "$checkout" -c user.name=test -c user.email=test@example.org commit -q -m "$1"
	}
	commit "the releases' commit"
	rebuild=$checkout/scripts/rebuild
fi

# Runs scripts/rebuild: its status, and what it said in $scratch/said.
status=0
run() { # ARGS...
	status=0
	"$rebuild" "$@" >"$scratch/said" 2>&1 || status=$?
}
said() { cat "$scratch/said"; }
refused() { # WHY: rebuild failed, saying what matches WHY
	[ "$status" -ne 0 ] || fail "not refused: $(said)"
	grep -q -- "$1" "$scratch/said" || fail "refused for another reason than '$1': $(said)"
	echo "ok: refused: $(grep -- "$1" "$scratch/said" | head -n 1)"
}
passed() {
	[ "$status" -eq 0 ] || fail "refused: $(said)"
	grep -q '^scripts/rebuild: every file of .* is what its source and buildinfo build$' "$scratch/said" ||
		fail "did not end as it should: $(said)"
}
sign() { # FOLDER
	gpg --batch --yes --quiet --armor --detach-sign --output "$1/SHA256SUMS.asc" "$1/SHA256SUMS"
}
key() {
	gpg --batch --quiet --passphrase '' --quick-gen-key 'sigsend test <test@example.org>' ed25519 sign 1d 2>/dev/null
	gpg --batch --export >"$scratch/keyring.gpg"
}
# A release of sigsend VERSION in FOLDER, of COMMIT of the checkout (its
# HEAD if none is named): the commit's tarball, as git archive makes it.
fake() { # FOLDER VERSION [COMMIT]
	local commit
	commit=$(git -C "$checkout" rev-parse --verify "${3:-HEAD}^{commit}")
	mkdir -p "$1"
	git -C "$checkout" archive --format=tar --prefix="sigsend-$2/" "$commit" | gzip -9n >"$1/sigsend-$2.tar.gz"
	echo "a binary" >"$1/sigsend-$2-linux-amd64"
	echo "a package" >"$1/sigsend_${2}_amd64.deb"
	seal "$1" "$2" "$commit"
}
# FOLDER's buildinfo, of every file there, and SHA256SUMS, made again.
seal() { # FOLDER VERSION COMMIT
	local folder=$1 version=$2 epoch=1796906619 file
	rm -f "$folder/sigsend-$version.buildinfo" "$folder/SHA256SUMS" "$folder/SHA256SUMS.asc"
	{
		echo "Format: 1.0"
		echo "Source: sigsend"
		echo "Version: $version"
		echo "Git-Commit: $3"
		echo "Checksums-Sha256:"
		for file in "$folder"/*; do
			echo " $(sha256sum <"$file" | cut -c1-64) $(stat -c %s "$file") ${file##*/}"
		done
		echo "Build-Architecture: amd64"
		echo "Build-Suites: trixie trixie-updates trixie-security"
		echo "Build-Date: $(LC_ALL=C date -u -R -d "@$epoch")"
		echo "Installed-Build-Depends:"
		echo " dpkg (= 1.22.22),"
		echo " libc6 (= 2.41-12+deb13u5),"
		echo " musl-dev:arm64 (= 1.2.5-3.1~deb13u1),"
		echo " zlib1g (= 1:1.3.dfsg+really1.3.1-1+deb13u1)"
		echo "Environment:"
		echo " SOURCE_DATE_EPOCH=\"$epoch\""
	} >"$folder/sigsend-$version.buildinfo"
	(cd "$folder" && sha256sum -- sigsend* >SHA256SUMS)
}
# The honest release, in $scratch/release, signed, and what rebuilds it.
honest() {
	key
	fake "$scratch/release" 1.0.0
	cp -a "$scratch/release" "$scratch/set"
	sign "$scratch/release"
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	passed
	[ -e "$scratch/built" ] || fail "the honest release's builder did not run"
	[ ! -e "$scratch/tarball-ran" ] || fail "the builder of the release's tarball ran"
	rm "$scratch/built"
	echo "ok: the honest release rebuilds the same ($(grep -c '^same' "$scratch/said") files)"
}
unbuilt() { [ ! -e "$scratch/built" ] || fail "the builder ran: $(said)"; }

case $mode in
unlisted)
	honest
	fake "$scratch/theirs" 1.0.0-x
	cp "$scratch/theirs/sigsend-1.0.0-x.buildinfo" "$scratch/theirs/sigsend-1.0.0-x.tar.gz" "$scratch/release/"
	rm "$scratch/release/sigsend-1.0.0.buildinfo"
	(cd "$scratch/release" && gpgv --keyring "$scratch/keyring.gpg" SHA256SUMS.asc SHA256SUMS 2>/dev/null &&
		sha256sum -c --quiet --ignore-missing SHA256SUMS) || fail "the stranger's folder does not pass gpgv and sha256sum"
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	refused 'sigsend-1.0.0.buildinfo is not there'
	[ ! -e "$scratch/tarball-ran" ] || fail "the stranger's builder ran"
	unbuilt ;;
signature)
	honest
	echo "0000000000000000000000000000000000000000000000000000000000000000  extra" >>"$scratch/release/SHA256SUMS"
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	refused 'BAD signature'
	rm "$scratch/release/SHA256SUMS.asc"
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	refused 'SHA256SUMS.asc is not there'
	unbuilt ;;
option)
	honest
	line=" -oDPkg::Pre-Invoke::=touch\${IFS}$scratch/built;exit\${IFS}1;# (= 1),"
	sed -i "s|^ dpkg (= .*|$line|" "$scratch/release/sigsend-1.0.0.buildinfo"
	grep -qF -- "$line" "$scratch/release/sigsend-1.0.0.buildinfo" || fail "no option in the buildinfo"
	started=$(date +%s)
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	refused 'sigsend-1.0.0.buildinfo is not the file that SHA256SUMS lists'
	unbuilt
	(cd "$scratch/release" && sha256sum -- sigsend* >SHA256SUMS)
	run --unsigned "$scratch/release"
	refused "Installed-Build-Depends has a line that is not 'name\[:arch\] (= version)'"
	unbuilt
	[ $(($(date +%s) - started)) -lt 60 ] || fail "the refusals took $(($(date +%s) - started)) s" ;;
symlink)
	honest
	cp -a "$scratch/release" "$scratch/copy"
	deb=sigsend_1.0.0_amd64.deb
	ln -sf "$scratch/set/$deb" "$scratch/release/$deb"
	run --unsigned --against "$scratch/set" "$scratch/release"
	refused "$scratch/release/$deb is a symbolic link, not a file"
	ln -sf "$scratch/copy/$deb" "$scratch/set/$deb"
	run --unsigned --against "$scratch/set" "$scratch/copy"
	refused "$scratch/set/$deb is a symbolic link, not a file"
	rm "$scratch/copy/$deb" && mkfifo "$scratch/copy/$deb"
	run --unsigned --against "$scratch/release" "$scratch/copy"
	refused "$scratch/copy/$deb is a fifo, not a file" ;;
keyless)
	mkdir "$scratch/release"
	printf 'garbage\0\n' >"$scratch/release/sigsend-1.0.0.buildinfo"
	mkdir "$scratch/release/SHA256SUMS"
	for folder in "$scratch/release" "$scratch/missing"; do
		run "$folder"
		refused '^scripts/rebuild: no --keyring: '
		[ "$(wc -l <"$scratch/said")" -eq 1 ] || fail "said more than why: $(said)"
	done ;;
beside)
	honest
	cp -a "$scratch/release" "$scratch/copy"
	gpg --batch --armor --export >"$scratch/release/signer.asc"
	gpg --dearmor <"$scratch/release/signer.asc" >"$scratch/release/sigsend.gpg"
	# As the README has it: the keyring made in the release's folder, named from there.
	for how in --keyring --unsigned; do
		if [ "$how" = --keyring ]; then
			(cd "$scratch/release" && run --keyring sigsend.gpg --against ../copy .)
		else
			run --unsigned --against "$scratch/copy" "$scratch/release"
		fi
		passed
		for file in signer.asc sigsend.gpg; do
			grep -qx "not part of the release: $file" "$scratch/said" || fail "$file was not named ($how): $(said)"
		done
		grep -qx "signature, not rebuilt: SHA256SUMS.asc" "$scratch/said" || fail "the signature was not named: $(said)"
	done
	echo "ok: passes, naming the keyring: $(grep -c '^not part' "$scratch/said") files not part of the release" ;;
blank)
	honest
	deb=sigsend_1.0.0_amd64.deb
	cp -a "$scratch/release" "$scratch/copy"
	echo "a stranger's package" >"$scratch/release/ $deb"
	run --unsigned --against "$scratch/set" "$scratch/release"
	passed
	grep -qxF "not part of the release: \\ $deb" "$scratch/said" || fail "the name with a blank was not named: $(said)"
	[ "$(grep -cx "same     $deb" "$scratch/said")" -eq 1 ] || fail "$deb was not compared once: $(said)"
	echo "ok: ' $deb' beside $deb is not part of the release"
	mv "$scratch/release/ $deb" "$scratch/copy/ $deb"
	rm "$scratch/copy/$deb"
	run --unsigned --against "$scratch/set" "$scratch/copy"
	refused "^only in the rebuild: $deb\$"
	grep -qxF "not part of the release: \\ $deb" "$scratch/said" || fail "the name with a blank was not named: $(said)" ;;
meanwhile)
	honest
	printf '#!/bin/sh\necho changed >>"%s"\n' "$scratch/release/sigsend-1.0.0-linux-amd64" >"$scratch/meanwhile"
	chmod +x "$scratch/meanwhile"
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	passed
	! cmp -s "$scratch/release/sigsend-1.0.0-linux-amd64" "$scratch/set/sigsend-1.0.0-linux-amd64" ||
		fail "the file was not changed meanwhile"
	echo "ok: a file changed in the folder during the build is compared as it was checked: $(grep -c '^same' "$scratch/said") same" ;;
repacked)
	honest
	released=$(git -C "$checkout" rev-parse HEAD)
	cp -a "$scratch/release" "$scratch/pristine"
	# As the attack did it: the build's own change to the tree, and a set
	# that rebuilds the same from that tarball, signed.
	for change in CMakeLists.txt:changed cmake/architectures.txt:executable extra.sh:added; do
		entry=${change%%:*}
		rm -rf "$scratch/release" "$scratch/set" "$scratch/tree"
		cp -a "$scratch/pristine" "$scratch/release"
		mkdir "$scratch/tree"
		tar -xzf "$scratch/release/sigsend-1.0.0.tar.gz" -C "$scratch/tree"
		case ${change#*:} in
		changed) echo 'target_link_options(sigsend PRIVATE -Wl,-z,execstack)' >>"$scratch/tree/sigsend-1.0.0/$entry" ;;
		executable) chmod +x "$scratch/tree/sigsend-1.0.0/$entry" ;;
		added) echo 'echo hello' >"$scratch/tree/sigsend-1.0.0/$entry" ;;
		esac
		tar -czf "$scratch/release/sigsend-1.0.0.tar.gz" -C "$scratch/tree" sigsend-1.0.0
		seal "$scratch/release" 1.0.0 "$released"
		cp -a "$scratch/release" "$scratch/set"
		sign "$scratch/release"
		run --keyring "$scratch/keyring.gpg" "$scratch/release"
		refused 'sigsend-1\.0\.0\.tar\.gz.*not'
		grep -qF -- "$entry" "$scratch/said" || fail "the refusal does not name $entry ($change): $(said)"
		unbuilt
	done ;;
commit)
	honest
	released=$(git -C "$checkout" rev-parse HEAD)
	echo "# a later change" >>"$checkout/CMakeLists.txt"
	commit "a later commit"
	head=$(git -C "$checkout" rev-parse HEAD)
	for asked in "" "$head"; do
		run ${asked:+--commit "$asked"} --keyring "$scratch/keyring.gpg" "$scratch/release"
		refused "$released"
		grep -q "$head" "$scratch/said" || fail "the refusal does not name the commit $head: $(said)"
		unbuilt
	done
	lacking=0123456789abcdef0123456789abcdef01234567
	run --commit "$lacking" --keyring "$scratch/keyring.gpg" "$scratch/release"
	refused "$lacking"
	unbuilt
	run --commit "$released" --keyring "$scratch/keyring.gpg" "$scratch/release"
	passed
	echo "ok: --commit $released rebuilds the release of the checkout's parent" ;;
checkout)
	honest
	mkdir "$scratch/plain"
	cp -r "$checkout/scripts" "$checkout/cmake" "$checkout/CMakeLists.txt" "$scratch/plain/"
	rebuild=$scratch/plain/scripts/rebuild
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	refused 'git checkout'
	unbuilt
	run --no-checkout --keyring "$scratch/keyring.gpg" "$scratch/release"
	passed
	grep -q 'not compared with any commit' "$scratch/said" ||
		fail "--no-checkout does not say that the tarball was compared with no commit: $(said)"
	echo "ok: --no-checkout: $(grep 'not compared with any commit' "$scratch/said")" ;;
oversized)
	honest
	cp -a "$scratch/release" "$scratch/pristine"
	mkdir "$scratch/tmp"
	# Each NAME:HOW: NAME made 300 MB, with holes; HOW checks it.
	for file in SHA256SUMS.asc:--keyring SHA256SUMS:--unsigned sigsend-1.0.0.buildinfo:--unsigned \
		sigsend-1.0.0-linux-amd64:--keyring; do
		how=${file#*:} file=${file%%:*}
		rm -rf "$scratch/release"
		cp -a "$scratch/pristine" "$scratch/release"
		truncate -s 300M "$scratch/release/$file"
		# Listed as it is: its size is the one fault.
		[ "$file" != sigsend-1.0.0.buildinfo ] || (cd "$scratch/release" && sha256sum -- sigsend* >SHA256SUMS)
		trust=(--unsigned)
		[ "$how" = --unsigned ] || trust=(--keyring "$scratch/keyring.gpg")
		status=0
		(ulimit -f 1024 && TMPDIR=$scratch/tmp exec "$rebuild" "${trust[@]}" "$scratch/release") >"$scratch/said" 2>&1 ||
			status=$?
		# The kernel refuses any write beyond 1 MiB: "File too large", or SIGXFSZ.
		if grep -q 'File too large' "$scratch/said" || [ "$status" -eq 153 ]; then
			fail "$file was copied beyond 1 MiB before it was refused ($status): $(said)"
		fi
		case $file in
		*-linux-amd64) refused "$file" ;;
		*) refused "$file .*1 MiB" ;;
		esac
		[ -z "$(ls -A "$scratch/tmp")" ] || fail "left in TMPDIR: $(ls -A "$scratch/tmp")"
		unbuilt
	done ;;
invisible)
	key
	for character in $'\xe2\x80\xae':U+202E $'\xe2\x80\xa8':U+2028; do
		code=${character#*:} character=${character%%:*}
		name=sigsend-1.0.0-linux-${character}46dma
		rm -rf "$scratch/release" "$scratch/set"
		mkdir "$scratch/release"
		echo "a stranger's binary" >"$scratch/release/$name"
		fake "$scratch/release" 1.0.0
		cp -a "$scratch/release" "$scratch/set"
		sign "$scratch/release"
		line=$(LC_ALL=C grep -n -F -- "$name" "$scratch/release/SHA256SUMS" | cut -d: -f1)
		run --keyring "$scratch/keyring.gpg" "$scratch/release"
		! LC_ALL=C grep -q -F -- "$character" "$scratch/said" || fail "printed $code raw: $(cat -v "$scratch/said")"
		refused "SHA256SUMS line $line"
		unbuilt
	done ;;
escapes)
	command -v diffoscope >/dev/null || skip "no diffoscope (the diffoscope-minimal package)"
	honest
	title=$'\e]0;a title\a' hide=$'\e[8m'
	printf 'a binary\n%shidden from here on%s\n' "$title" "$hide" >"$scratch/set/sigsend-1.0.0-linux-amd64"
	echo "made by the build" >"$scratch/set/${hide}rebuilt"
	echo "a stranger's" >"$scratch/release/${title}beside"
	run --keyring "$scratch/keyring.gpg" "$scratch/release"
	! LC_ALL=C grep -q $'[\e\a]' "$scratch/said" || fail "ESC or BEL reached the output: $(cat -v "$scratch/said")"
	refused '^DIFFERS  sigsend-1\.0\.0-linux-amd64$'
	grep -q 'hidden from here on' "$scratch/said" || fail "no excerpt of diffoscope's: $(said)"
	echo "ok: shown inert: $(grep -m 1 'hidden from here on' "$scratch/said")" ;;
stops)
	[ -n "$release" ] || skip "no release folder (SIGSEND_RELEASE_DIR)"
	need_root_maker
	mkdir "$scratch/tmp" "$scratch/outs"
	exec_with_var_tmp "$scratch/var-tmp" env TMPDIR="$scratch/tmp" "$rebuild" --unsigned --keep "$scratch/outs/out" \
		"$release" >"$scratch/first" 2>&1 &
	first=$!
	# Until a dpkg that descends from it fills the root.
	for _ in $(seq 3000); do
		descendants "$first" >"$scratch/descendants"
		while IFS=: read -r pid _; do
			[ "$(cat "/proc/$pid/comm" 2>/dev/null)" != dpkg ] || break 2
		done <"$scratch/descendants"
		kill -0 "$first" 2>/dev/null || fail "the rebuild ended before it built: $(cat "$scratch/first")"
		sleep 0.1
	done
	compgen -G "$scratch/outs/.sigsend-rebuild.*" >/dev/null || fail "no set is being made beside OUT"
	kill -TERM "$first"
	status=0
	wait "$first" || status=$?
	first=""
	[ "$status" -eq 143 ] || fail "the rebuild ended with $status, not 143: $(cat "$scratch/first")"
	[ -z "$(ls -A "$scratch/outs")" ] || fail "left beside OUT: $(ls -A "$scratch/outs")"
	[ -z "$(ls -A "$scratch/tmp")" ] || fail "left in TMPDIR: $(ls -A "$scratch/tmp")"
	nothing_left_in_var_tmp "$scratch/var-tmp"
	while IFS=: read -r pid start; do
		[ "$(cut -d' ' -f22 "/proc/$pid/stat" 2>/dev/null)" != "$start" ] ||
			fail "process $pid ($(cat "/proc/$pid/comm" 2>/dev/null)) outlived the rebuild"
	done <"$scratch/descendants"
	nothing_at_work_in "$scratch"
	echo "ok: stopped by SIGTERM with nothing left: $(tail -n 1 "$scratch/first")" ;;
*) fail "no mode $mode" ;;
esac
gpgconf --kill all 2>/dev/null || true
rm -rf "$scratch"
