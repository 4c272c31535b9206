# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What the shell checks share, sourced first thing after `set -euo
# pipefail`: a failure, a skip that ctest shows as such, the usage line,
# and temporary folders that go when the check exits. The checks keep this
# file of their own: they share no code with what they check.
# shellcheck shell=bash

me=tests/${0##*/}
fail() { echo "FAILED: $*" >&2; exit 1; }
skip() { echo "skipped: $*"; exit 0; }
usage() { echo "usage: $me $*" >&2; exit 2; }

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
