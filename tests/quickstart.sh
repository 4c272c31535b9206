#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The README's Quick start, as written, on a fresh Debian: both shell blocks
# of its "Quick start" section, taken from the README of the last commit,
# run one after the other, as root, in a copy of that commit (git archive)
# inside a root that mmdebstrap makes of SUITE (bookworm or trixie, with its
# -updates and -security suites) holding nothing but a minimal base. The
# blocks install what they need themselves. The first must end by printing
# "sleep ended with status 143", the second, the test command, must pass.
# It takes minutes and Debian's archive: the ctest label quickstart, in a
# tree configured with -DSIGSEND_QUICKSTART=SUITES.
# Prints "skipped: WHY" where it cannot run: not as root, or no mmdebstrap.
# Usage: tests/quickstart.sh SUITE
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[[ ${1:-} =~ ^(bookworm|trixie)$ ]] || usage "bookworm|trixie"
suite=$1
top=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || skip "not root: the root is made by mmdebstrap's root mode"
command -v mmdebstrap >/dev/null || skip "no mmdebstrap (the mmdebstrap package brings it)"
command -v git >/dev/null || skip "no git (the git package brings it)"
[ -x /usr/bin/python3 ] || skip "no /usr/bin/python3 (the python3 package brings it)"

work="" && temporary work
git -C "$top" archive -o "$work/tree.tar" HEAD || fail "git archive HEAD in $top"
git -C "$top" show HEAD:README.md >"$work/README.md" || fail "git show HEAD:README.md in $top"
# The section's sh blocks, each into a file of its own: 1.sh, 2.sh.
/usr/bin/python3 -I - "$work/README.md" "$work" <<'EOF' || fail "the README's Quick start does not hold two sh blocks"
import re, sys
with open(sys.argv[1]) as readme:
    section = re.search(r"^## Quick start\n(.*?)(?=^## |\Z)", readme.read(), re.M | re.S)
blocks = re.findall(r"^```sh\n(.*?)^```$", section.group(1), re.M | re.S) if section else []
for number, block in enumerate(blocks, 1):
    with open(f"{sys.argv[2]}/{number}.sh", "w") as out:
        out.write(block)
sys.exit(len(blocks) != 2)
EOF

# Each block runs as a shell script in the copy, with root's usual
# environment and stdin empty; what it says and its status land in WORK.
quote() { printf '%q ' "$@"; }
run() { # BLOCK
	echo "chroot \"\$1\" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
HOME=/root USER=root LOGNAME=root SHELL=/bin/bash sh -c 'umask 022 && cd /root/sigsend && exec bash /root/$1.sh' \
</dev/null >$(quote "$work/$1.out") 2>&1; echo \$? >$(quote "$work/$1.status")"
}
mirror=http://deb.debian.org/debian
started=$(date +%s)
# mmdebstrap hands apt's hooks the lowest free descriptor, which must be
# below 10 for sh's `>&N`: descriptors 3 to 9 are closed for it. A root
# that could not be made (a mirror being synced) is made again, up to three
# times; blocks that ran are not.
for try in 1 2 3; do
	# shellcheck disable=SC2016 # each hook's $1 is the root, which mmdebstrap gives it
	TMPDIR=$work unshare --mount --propagation private mmdebstrap --mode=root --quiet \
		--variant=minbase --format=null \
		--customize-hook='mkdir "$1/root/sigsend"' \
		--customize-hook="tar-in $(quote "$work/tree.tar") /root/sigsend" \
		--customize-hook="upload $(quote "$work/1.sh") /root/1.sh" \
		--customize-hook="upload $(quote "$work/2.sh") /root/2.sh" \
		--customize-hook="$(run 1)" --customize-hook="$(run 2)" \
		"$suite" /dev/null "deb $mirror $suite main" "deb $mirror $suite-updates main" \
		"deb http://deb.debian.org/debian-security $suite-security main" \
		>"$work/mmdebstrap.log" 2>&1 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&- && break
	[ ! -e "$work/1.status" ] || fail "mmdebstrap failed after the blocks ran: $(tail -n 20 "$work/mmdebstrap.log")"
	[ "$try" -lt 3 ] || fail "the $suite root could not be made (three tries): $(tail -n 20 "$work/mmdebstrap.log")"
	echo "the $suite root could not be made (try $try of 3); trying again in 20 s" >&2
	sleep 20
done
took=$(($(date +%s) - started))

said=$(tail -n 1 "$work/1.out")
[ "$said" = "sleep ended with status 143" ] ||
	fail "$suite: the first block ended with '$said', status $(cat "$work/1.status"):"$'\n'"$(tail -n 40 "$work/1.out")"
echo "ok: $suite: the first block printed '$said'"
status=$(cat "$work/2.status")
[ "$status" = 0 ] || fail "$suite: the test command exited $status:"$'\n'"$(tail -n 60 "$work/2.out")"
summary=$(grep 'tests passed' "$work/2.out") || fail "$suite: the test command printed no summary"
echo "ok: $suite: the test command passed: $summary; skipped:"
sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/  \1/p' "$work/2.out"
echo "ok: $suite: both blocks as written, in a fresh root, in $took s"
