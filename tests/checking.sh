#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# docs/releases.md's check of a release, its sh blocks as written (label
# release), on a hand-made folder signed with a key made for the case: the
# key's block prints its fingerprint; the check's block passes, saying so,
# on the honest folder, and stops at the step that fails, without that
# line, where a file was changed, where SHA256SUMS was (gpgv refuses, so
# sha256sum never runs), and where gpg is missing (the keyring comes out
# empty, so gpgv never runs).
# Usage: tests/checking.sh RELEASES_MD SCRATCH
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 2 ] || usage "RELEASES_MD SCRATCH"
doc=$1 scratch=$2
need gpg gnupg
need gpg-agent gpg-agent
need gpgv gpgv
rm -rf "$scratch"
mkdir -p "$scratch/home" "$scratch/release"
export GNUPGHOME=$scratch/gnupg
mkdir -m 700 "$GNUPGHOME"
trap 'gpgconf --kill all 2>/dev/null || true; remove_temporaries' EXIT
# The section's sh blocks: the key's, then the check's.
/usr/bin/python3 -I - "$doc" "$scratch" <<'EOF' || fail "$doc's section 'Checking a release' does not hold two sh blocks"
import re, sys
with open(sys.argv[1]) as doc:
    section = re.search(r"^## Checking a release\n(.*?)(?=^## |\Z)", doc.read(), re.M | re.S)
blocks = re.findall(r"^```sh\n(.*?)^```$", section.group(1), re.M | re.S) if section else []
for name, block in zip(("key", "check"), blocks):
    with open(f"{sys.argv[2]}/{name}.sh", "w") as out:
        out.write(block)
sys.exit(len(blocks) != 2)
EOF
gpg --batch --quiet --passphrase '' --quick-gen-key 'sigsend test <test@example.org>' ed25519 sign 1d 2>/dev/null ||
	fail "gpg cannot make a key"
gpg --batch --armor --export >"$scratch/home/signer.asc"
cd "$scratch/release"
echo "a binary" >sigsend-1.0.0-linux-amd64
echo "a tarball" >sigsend-1.0.0.tar.gz
sha256sum -- sigsend-* >SHA256SUMS
gpg --batch --yes --quiet --armor --detach-sign --output SHA256SUMS.asc SHA256SUMS
good="every file is as the signer made it"

# Runs BLOCK in the release's folder with PATH: its status and output.
run() { # BLOCK [PATH]
	status=0
	env -i HOME="$scratch/home" PATH="${2:-/usr/bin:/bin}" /bin/sh "$scratch/$1.sh" >"$scratch/said" 2>&1 || status=$?
}
said() { tr '\n' ' ' <"$scratch/said"; }
stopped() { # WHY: the check failed, without its last line
	[ "$status" -ne 0 ] || fail "$1: the check passed: $(said)"
	! grep -q "$good" "$scratch/said" || fail "$1: the check said '$good': $(said)"
}

fingerprint=$(gpg --with-colons --fingerprint 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }')
run key
{ [ "$status" -eq 0 ] && tr -d ' ' <"$scratch/said" | grep -q "$fingerprint"; } ||
	fail "the key's block did not print the fingerprint $fingerprint: $(said)"
echo "ok: the key's block prints the fingerprint"
run check
{ [ "$status" -eq 0 ] && [ "$(tail -n 1 "$scratch/said")" = "$good" ]; } || fail "the honest release: $(said)"
echo "ok: the honest release passes, saying '$good'"

echo "changed" >>sigsend-1.0.0-linux-amd64
run check
stopped "a changed binary"
grep -q 'FAILED' "$scratch/said" || fail "a changed binary: sha256sum named no failure: $(said)"
echo "ok: a changed binary stops it: $(grep -m 1 FAILED "$scratch/said")"

sha256sum -- sigsend-* >SHA256SUMS
run check
stopped "a rewritten SHA256SUMS"
grep -q 'BAD signature' "$scratch/said" || fail "a rewritten SHA256SUMS: gpgv named no bad signature: $(said)"
! grep -q -e ': OK$' -e 'FAILED' "$scratch/said" || fail "sha256sum ran after gpgv refused: $(said)"
echo "ok: a rewritten SHA256SUMS stops it at gpgv, before sha256sum"

# Every tool the block names but gpg, as on a Debian without the gpg package.
mkdir "$scratch/bin"
for tool in gpgv sha256sum; do ln -s "$(command -v "$tool")" "$scratch/bin/$tool"; done
rm -f "$scratch/home/sigsend.gpg"
run check "$scratch/bin"
stopped "no gpg"
! grep -q -e 'gpgv:' -e 'FAILED' -e ': OK$' "$scratch/said" || fail "no gpg: the check went on: $(said)"
echo "ok: without gpg it stops before gpgv: $(said)"
