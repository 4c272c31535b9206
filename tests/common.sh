# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What the shell checks share, sourced first thing after `set -euo
# pipefail`: a failure, a skip that ctest shows as such, the usage line,
# and temporary folders that go when the check exits. The checks keep this
# file of their own: they share no code with what they check.
# shellcheck shell=bash

me=tests/${0##*/}
checks=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
skip() { echo "skipped: $*"; exit 0; }
usage() { echo "usage: $me $*" >&2; exit 2; }
need() { # TOOL PACKAGE: skips, naming the package, where TOOL is missing
	command -v "$1" >/dev/null || skip "no $1 (the $2 package brings it)"
}

# Every folder that temporary() made; removed on EXIT. A check with more
# to do on its way out sets its own EXIT trap and calls remove_temporaries.
temporaries=()
remove_temporaries() {
	[ "${#temporaries[@]}" -eq 0 ] || rm -rf -- "${temporaries[@]}"
}
trap remove_temporaries EXIT
temporary() { # VARIABLE [MKTEMP-ARGUMENTS...]: a new folder, in VARIABLE
	local folder
	folder=$(mktemp -d "${@:2}") || fail "cannot make a temporary folder"
	temporaries+=("$folder")
	printf -v "$1" %s "$folder"
}

# Skips unless SOURCE is a git checkout with a commit, which the check clones.
need_checkout() { # SOURCE
	need git git
	git -C "$1" rev-parse --verify -q 'HEAD^{commit}' >/dev/null || skip "$1 is not a git checkout with a commit"
}

# Skips unless this host can make a root: mmdebstrap, and root or a user
# namespace with subordinate ids (mmdebstrap's unshare mode).
need_root_maker() {
	local said
	need mmdebstrap mmdebstrap
	if [ "$(id -u)" -eq 0 ]; then
		said=$(unshare --user true 2>&1) || skip "no user namespaces here (a chroot or a container?): $said"
		return 0
	fi
	said=$(unshare --user --map-auto --map-root-user true 2>&1) ||
		skip "not root, and no user namespace with subordinate ids: $said"
}

# Runs COMMAND... in this process, as root in a mount namespace of its own
# whose /var/tmp is FOLDER (made mode 1777), so that what it leaves in
# /var/tmp stays in FOLDER for the check to see, and no other process's
# files are mistaken for its own. Not as root, it runs COMMAND... as it is:
# nothing then makes roots in /var/tmp.
exec_with_var_tmp() { # FOLDER COMMAND...
	mkdir -m 1777 "$1"
	[ "$(id -u)" -eq 0 ] || exec "${@:2}"
	# shellcheck disable=SC2016 # expanded by the inner shell
	exec unshare --mount --propagation private sh -c 'mount --bind "$0" /var/tmp && exec "$@"' "$@"
}
# Fails if FOLDER, the /var/tmp of exec_with_var_tmp, holds anything.
nothing_left_in_var_tmp() { # FOLDER
	local left
	left=$(find "$1" -mindepth 1 -maxdepth 1 -printf '%M %u %f\n')
	[ -z "$left" ] || fail "left in /var/tmp: $(tr '\n' ' ' <<<"$left")"
}

# ANCESTOR and each process that descends from it, as PID:START, START
# being its start time, which tells it from a later process of the same pid.
descendants() { # ANCESTOR
	local stat pid
	for stat in /proc/[0-9]*/stat; do
		pid=${stat#/proc/} pid=${pid%/stat}
		while [ -n "$pid" ] && [ "$pid" -gt 1 ]; do
			if [ "$pid" = "$1" ]; then
				pid=${stat#/proc/} pid=${pid%/stat}
				echo "$pid:$(cut -d' ' -f22 "$stat" 2>/dev/null)"
				break
			fi
			pid=$(sed -n 's/^PPid:\t//p' "/proc/$pid/status" 2>/dev/null) || pid=""
		done
	done
}

# Fails if any process still works in FOLDER, or has its root there.
nothing_at_work_in() { # FOLDER
	local proc place
	for proc in /proc/[0-9]*; do
		for place in cwd root; do
			case $(readlink "$proc/$place" 2>/dev/null) in
			"$1"/*) fail "process ${proc#/proc/} still has its $place in $(readlink "$proc/$place")" ;;
			esac
		done
	done
}

# The columns COLUMN... of every row of cmake/architectures.txt, by the
# names of its header (its last comment line before the first row),
# space-separated, a row a line: read here, not by the documents package.
table() { # COLUMN...
	awk -v want="$*" '
		/^#/ { if (!rows) { count = split(substr($0, 2), header); delete at; for (i = 1; i <= count; i++) at[header[i]] = i } next }
		/^[a-z0-9]/ {
			rows++
			n = split(want, names); line = ""
			for (i = 1; i <= n; i++) {
				if (!(names[i] in at)) { print "no column " names[i] > "/dev/stderr"; exit 1 }
				line = line (i > 1 ? " " : "") $at[names[i]]
			}
			print line
		}
		END { if (!rows) exit 1 }' "$checks/../cmake/architectures.txt"
}

# Where a case needs no root, it puts a stand-in in the root's place: the
# stand-in's build(tarball, revision, out, **options) is appended to the
# tree's root stage, in place of its own.
root_stand_in=scripts/documents/root.py
stand_in() { # TREE: the Python code on stdin, which defines build(), in place of TREE's root
	cat >>"$1/$root_stand_in"
}
