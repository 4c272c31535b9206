#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Counts the user-space instructions of one run of sigsend and of its peers
# with callgrind. The counts are deterministic, so they track start-up cost
# across changes better than timings do.
# Usage: bench/instructions.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }

sleep 600 &
sleeper=$!
trap 'kill "$sleeper"' EXIT

count() { # NAME COMMAND...: print one table row
	local name=$1 n
	shift
	[ -x "$1" ] || return 0
	n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 |
		sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
	printf '| %s | %s |\n' "$name" "$n"
}

echo "| command | instructions |"
echo "|---|---|"
count sigsend "$build/sigsend" "$sleeper" 0
count "floor (no libc)" "$build/bench/floor" "$sleeper" 0
count "sigsend, system libc" "$build/bench/sigsend_system" "$sleeper" 0
count "procps /bin/kill" /bin/kill -0 "$sleeper"
for bb in /bin/busybox /usr/bin/busybox; do
	if [ -x "$bb" ]; then
		count "busybox kill" "$bb" kill -0 "$sleeper"
		break
	fi
done
