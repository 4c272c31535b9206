# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# What every script of scripts/ shares, sourced first thing after
# `set -euo pipefail`: refusals that name the script, its usage line,
# temporary folders that go when it exits, however it exits, the documents
# package, and the stop of a process group.
# shellcheck shell=bash

# The name that every message of the script starts with: scripts/NAME.
me=scripts/${0##*/}

fail() { # MESSAGE...: says why, on stderr, and exits 1
	echo "$me: $*" >&2
	exit 1
}

usage() { # ARGUMENTS: the usage line, on stderr, and exits 2
	echo "usage: $me $*" >&2
	exit 2
}

# Every folder that temporary() made; removed on EXIT. A script with more
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
# The documents package, beside this file, with Debian's own python3 and
# never the caller's folder or PYTHONPATH on its path.
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
documents() { /usr/bin/python3 -I -B "$scripts/documents" "$@"; }

# Stops the process group GROUP and waits for it: SIGTERM, two seconds to
# end as its members will (mmdebstrap cleans up), then SIGKILL.
end_group() { # GROUP
	local try
	kill -TERM -- "-$1" 2>/dev/null || true
	wait "$1" 2>/dev/null || true
	for ((try = 1; try <= 140; try++)); do
		kill -0 -- "-$1" 2>/dev/null || break
		[ "$try" -le 40 ] || kill -KILL -- "-$1" 2>/dev/null || true
		sleep 0.05
	done
}

kept() { # FOLDER: no longer removed on EXIT (it was moved into place)
	local i
	for i in "${!temporaries[@]}"; do
		[ "${temporaries[$i]}" != "$1" ] || unset 'temporaries[i]'
	done
}
