#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What scripts/release refuses before it builds anything, each a ctest case
# (label release), on a fresh clone of SOURCE's last commit:
#   full   an OUTDIR that holds anything, which it leaves as it was
#   key    a signing key that cannot sign, with nothing written and no
#          GnuPG daemon of its home left running
#   dirty  a tree with a change that is not committed
#   hidden a change that git was told to overlook (assume-unchanged), and
#          one to a script the release runs that the checkout's fsmonitor
#          hides from a plain git status
#   inputs an OUTDIR that is a link to nothing or starts with '-', a TMPDIR
#          that is relative, missing or holds white space: each refused
#          before anything is built or written
#   repacked  a build (a stand-in for the root) whose set holds the source
#          tarball with the tree's CMakeLists.txt changed: refused, naming the
#          tarball, with nothing signed and no OUTDIR
#   buildinfo a build whose buildinfo names another Git-Commit, Version or
#          SOURCE_DATE_EPOCH than the release's: refused, naming the field,
#          with nothing signed and no OUTDIR
#          (each first releases the stand-in's honest set, signed)
#   stops  a second release beside a running one, refused at once; then
#          SIGTERM to the first while dpkg fills its root, which stops its
#          build before it removes its folders, leaving OUTDIR, TMPDIR,
#          OUTDIR's folder and /var/tmp as they were (its TMPDIR lies where
#          the root's namespace may not walk: as root the root is made in
#          /var/tmp)
# Prints "skipped: WHY" where SOURCE is not a git checkout, a tool is missing
# or (stops) no root can be made.
# Usage: tests/refusals.sh MODE SOURCE SCRATCH
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 3 ] || usage "full|key|dirty|hidden|inputs|repacked|buildinfo|stops SOURCE SCRATCH"
mode=$1 source=$2 scratch=$3
need_checkout "$source"
rm -rf "$scratch"
mkdir -p "$scratch"
git clone -q "$source" "$scratch/clone"
# Runs the clone's release into OUTDIR: the status, and what it said.
release() { # OUTDIR [NAME=VALUE...]
	local out=$1 status=0
	shift
	env "$@" "$scratch/clone/scripts/release" "$out" >"$scratch/said" 2>&1 || status=$?
	[ "$status" -ne 0 ] || fail "the release went on ($mode): $(cat "$scratch/said"); $out holds: $(find "$out" -mindepth 1 -printf '%P ' 2>/dev/null)"
	echo "ok: refused, saying: $(cat "$scratch/said")"
}

case $mode in
full)
	mkdir "$scratch/out"
	touch "$scratch/out/sigsend-0.9.0-NOTICES.txt"
	release "$scratch/out"
	[ "$(ls -A "$scratch/out")" = sigsend-0.9.0-NOTICES.txt ] || fail "the release changed $scratch/out" ;;
key)
	need gpg gnupg
	mkdir -m 700 "$scratch/gnupg"
	release "$scratch/out" GNUPGHOME="$scratch/gnupg" SIGSEND_SIGNING_KEY=nobody@example.org
	left=""
	for proc in /proc/[0-9]*; do
		case $(cat "$proc/comm" 2>/dev/null) in
		gpg-agent | keyboxd | dirmngr | scdaemon)
			! grep -qF "$scratch/gnupg" "$proc/cmdline" 2>/dev/null || left+=" $(cat "$proc/comm") ${proc#/proc/}" ;;
		esac
	done
	GNUPGHOME=$scratch/gnupg gpgconf --kill all 2>/dev/null || true
	[ -z "$left" ] || fail "the release left GnuPG daemons that its key check started:$left"
	[ ! -e "$scratch/out" ] || fail "the release wrote $scratch/out without its key" ;;
dirty)
	echo "// a change" >>"$scratch/clone/src/sigsend.cpp"
	release "$scratch/out"
	grep -q 'uncommitted changes' "$scratch/said" || fail "refused for another reason"
	[ ! -e "$scratch/out" ] || fail "the release wrote $scratch/out" ;;
hidden)
	echo "// a change" >>"$scratch/clone/src/sigsend.cpp"
	git -C "$scratch/clone" update-index --assume-unchanged src/sigsend.cpp
	release "$scratch/out"
	grep -q 'assume-unchanged' "$scratch/said" || fail "refused for another reason"
	[ ! -e "$scratch/out" ] || fail "the release wrote $scratch/out"
	git -C "$scratch/clone" checkout -q -- src/sigsend.cpp
	git -C "$scratch/clone" update-index --no-assume-unchanged src/sigsend.cpp
	# A monitor that answers "nothing changed", whatever did.
	printf '#!/bin/sh\nprintf "token\\0"\n' >"$scratch/monitor"
	chmod +x "$scratch/monitor"
	git -C "$scratch/clone" config core.fsmonitor "$scratch/monitor"
	git -C "$scratch/clone" config core.fsmonitorHookVersion 2
	git -C "$scratch/clone" status --porcelain >/dev/null
	git -C "$scratch/clone" update-index --fsmonitor
	echo "# a change" >>"$scratch/clone/scripts/documents/tarball.py"
	[ -z "$(git -C "$scratch/clone" status --porcelain)" ] || fail "the monitor does not hide the change"
	release "$scratch/out"
	grep -q 'uncommitted changes' "$scratch/said" || fail "refused for another reason"
	[ ! -e "$scratch/out" ] || fail "the release wrote $scratch/out" ;;
inputs)
	ln -s "$scratch/nowhere" "$scratch/dangling"
	mkdir "$scratch/with space"
	# Refused by its own check, in one line: no build said anything first.
	early() { # OUTDIR [NAME=VALUE...]
		release "$@"
		{ [ "$(wc -l <"$scratch/said")" -eq 1 ] && grep -q '^scripts/release: ' "$scratch/said"; } ||
			fail "not refused before the build: $(cat "$scratch/said")"
	}
	(cd "$scratch" && early -out)
	early "$scratch/dangling"
	early "$scratch/out" TMPDIR=relative
	early "$scratch/out" TMPDIR="$scratch/missing"
	early "$scratch/out" TMPDIR="$scratch/with space"
	early "$scratch/missing/out"
	{ [ ! -e "$scratch/out" ] && [ ! -e "$scratch/-out" ] && [ ! -e "$scratch/nowhere" ]; } ||
		fail "a refused release wrote into $scratch"
	[ -z "$(ls -A "$scratch/with space")" ] || fail "a refused release wrote into its TMPDIR" ;;
repacked | buildinfo)
	for tool in gpg gpgv; do
		command -v "$tool" >/dev/null || skip "no $tool (the gnupg and gpgv packages)"
	done
	# The signing key, whose agent logs every signature it makes (PKSIGN).
	export GNUPGHOME=$scratch/gnupg
	mkdir -m 700 "$GNUPGHOME"
	printf 'log-file %s\ndebug ipc\n' "$scratch/agent.log" >"$GNUPGHOME/gpg-agent.conf"
	gpg --batch --quiet --passphrase '' --quick-gen-key 'sigsend test <test@example.org>' ed25519 sign 1d 2>/dev/null
	gpg --batch --export >"$scratch/keyring.gpg"
	gpgconf --kill all
	trap 'gpgconf --kill all 2>/dev/null || true; remove_temporaries' EXIT
	signing=(GNUPGHOME="$GNUPGHOME" SIGSEND_SIGNING_KEY=test@example.org SOURCE_DATE_EPOCH=1796906619)
	parent=$(git -C "$scratch/clone" rev-parse HEAD)
	version=$(sed -n 's/^project(sigsend VERSION \([^ )]*\).*/\1/p' "$scratch/clone/CMakeLists.txt")
	tarball=sigsend-$version.tar.gz
	# The clone, committed with a stand-in for the root whose set is that
	# of a build with the fault FAULT (none, tarball, commit, version, epoch).
	hostile() { # FAULT
		git -C "$scratch/clone" checkout -q "$parent" -- "$root_stand_in"
		stand_in "$scratch/clone" <<EOF
def build(tarball, revision, out, **options):
    import datetime, email.utils, gzip, hashlib, io, os, tarfile
    fault, version, epoch = "$1", "$version", 1796906619
    with open(tarball, "rb") as file:
        source = file.read()
    if fault == "tarball":
        packed = io.BytesIO()
        with tarfile.open(fileobj=io.BytesIO(source)) as old, \\
                gzip.GzipFile(fileobj=packed, mode="wb", mtime=0) as zipped, \\
                tarfile.open(fileobj=zipped, mode="w", format=tarfile.PAX_FORMAT) as new:
            for member in old:
                content = old.extractfile(member).read() if member.isfile() else None
                if member.name == f"sigsend-{version}/CMakeLists.txt":
                    content += b"target_link_options(sigsend PRIVATE -Wl,-z,execstack)\\n"
                    member.size = len(content)
                new.addfile(member, None if content is None else io.BytesIO(content))
        source = packed.getvalue()
    files = {f"sigsend-{version}-linux-amd64": b"a binary\\n", f"sigsend_{version}_amd64.deb": b"a package\\n",
             os.path.basename(tarball): source}
    epoch = 1 if fault == "epoch" else epoch
    when = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    files[f"sigsend-{version}.buildinfo"] = "".join([
        "Format: 1.0\\nSource: sigsend\\n",
        f"Version: {'9.9.9' if fault == 'version' else version}\\n",
        f"Git-Commit: {'$parent' if fault == 'commit' else revision}\\n",
        "Checksums-Sha256:\\n",
        *(f" {hashlib.sha256(data).hexdigest()} {len(data)} {name}\\n" for name, data in files.items()),
        f"Build-Architecture: amd64\\nBuild-Date: {email.utils.format_datetime(when)}\\nBuild-Suites: trixie\\n",
        "Installed-Build-Depends:\\n dpkg (= 1.22.22)\\n",
        f'Environment:\\n SOURCE_DATE_EPOCH="{epoch}"\\n']).encode()
    files["SHA256SUMS"] = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\\n"
                                  for name, data in sorted(files.items())).encode()
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as file:
            file.write(data)
    with open("$scratch/agent.log", "a") as log:
        log.write(f"built: {fault}\\n")
EOF
		git -C "$scratch/clone" add -A
		git -C "$scratch/clone" -c user.name=test -c user.email=test@example.org commit -q -m "a build's set: $1"
	}
	# Whether the agent signed anything once the stand-in had built FAULT's set.
	signed() { # FAULT
		awk -v mark="built: $1" '$0 == mark { on = 1; next } on && /PKSIGN/ { found = 1 } END { exit !found }' \
			"$scratch/agent.log"
	}
	hostile none
	status=0
	env "${signing[@]}" "$scratch/clone/scripts/release" "$scratch/out-none" >"$scratch/said" 2>&1 || status=$?
	[ "$status" -eq 0 ] || fail "the stand-in's honest set was refused ($status): $(cat "$scratch/said")"
	for file in SHA256SUMS "$tarball"; do
		gpgv --keyring "$scratch/keyring.gpg" "$scratch/out-none/$file.asc" "$scratch/out-none/$file" 2>/dev/null ||
			fail "the honest set's $file is not signed"
	done
	signed none || fail "the agent's log shows no signature of the honest set"
	echo "ok: the stand-in's honest set is released and signed"
	faults=(tarball:"$tarball.*not")
	[ "$mode" = repacked ] || faults=(commit:Git-Commit version:Version epoch:SOURCE_DATE_EPOCH)
	for fault in "${faults[@]}"; do
		why=${fault#*:} fault=${fault%%:*}
		hostile "$fault"
		release "$scratch/out-$fault" "${signing[@]}"
		grep -q -- "$why" "$scratch/said" || fail "refused for another reason than '$why'"
		! signed "$fault" || fail "the release signed $fault's set, which it refused"
		[ ! -e "$scratch/out-$fault" ] || fail "the release wrote $scratch/out-$fault"
	done ;;
stops)
	need_root_maker
	mkdir -m 700 "$scratch/private"
	tmp=$scratch/private/tmp
	mkdir "$tmp" "$scratch/outs"
	# Whether a dpkg that descends from the first release is at work: it
	# fills the root, in a namespace of its own or not.
	dpkg_at_work() {
		local pid
		while IFS=: read -r pid _; do
			[ "$(cat "/proc/$pid/comm" 2>/dev/null)" != dpkg ] || return 0
		done < <(descendants "$first")
		return 1
	}
	exec_with_var_tmp "$scratch/var-tmp" env TMPDIR="$tmp" "$scratch/clone/scripts/release" "$scratch/outs/out" \
		>"$scratch/first" 2>&1 &
	first=$!
	for _ in $(seq 3000); do
		dpkg_at_work && break
		kill -0 "$first" 2>/dev/null || fail "the release ended before it built: $(cat "$scratch/first")"
		sleep 0.1
	done
	compgen -G "$scratch/outs/.sigsend-release.*" >/dev/null || fail "no set is being made beside OUTDIR"
	release "$scratch/outs/out" TMPDIR="$tmp"
	grep -q 'another release' "$scratch/said" || fail "the second release was refused for another reason"
	kill -TERM "$first"
	status=0
	wait "$first" || status=$?
	[ "$status" -eq 143 ] || fail "the release ended with $status, not 143: $(cat "$scratch/first")"
	[ -z "$(ls -A "$scratch/outs")" ] || fail "left beside OUTDIR: $(ls -A "$scratch/outs")"
	[ -z "$(ls -A "$tmp")" ] || fail "left in TMPDIR: $(ls -A "$tmp")"
	nothing_left_in_var_tmp "$scratch/var-tmp"
	# Nothing of the build is still at work in the scratch folder, nor in
	# the root that was made there.
	nothing_at_work_in "$scratch"
	echo "ok: stopped by SIGTERM with nothing left: $(tail -n 1 "$scratch/first")" ;;
*) fail "no mode $mode" ;;
esac
rm -rf "$scratch"
