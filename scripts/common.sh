# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What scripts/provision and scripts/from-source share, sourced first thing
# after `set -euo pipefail`: refusals that name the script, its usage line,
# temporary folders that go when it exits, and the documents package.
# shellcheck shell=bash
me=scripts/${0##*/}
fail() { echo "$me: $*" >&2; exit 1; }
usage() { echo "usage: $me $*" >&2; exit 2; }
temporaries=()
trap '[ "${#temporaries[@]}" -eq 0 ] || rm -rf -- "${temporaries[@]}"' EXIT
temporary() { # VARIABLE: a new folder, in VARIABLE, removed on EXIT
	local folder
	folder=$(mktemp -d) || fail "cannot make a temporary folder"
	temporaries+=("$folder")
	printf -v "$1" %s "$folder"
}
# The documents package, with Debian's own python3 and never the caller's path.
documents() { /usr/bin/python3 -I -B "$(dirname "${BASH_SOURCE[0]}")/documents" "$@"; }
