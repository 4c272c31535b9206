#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Counts the user-space instructions of one run of sigsend and of its peers
# with callgrind. The counts are deterministic, so they track start-up cost
# across changes better than timings do. The commands are spawnbench's own.
# Usage: bench/instructions.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }

sleep 600 &
sleeper=$!
trap 'kill "$sleeper"' EXIT

echo "| command | instructions |"
echo "|---|---|"
"$build/bench/spawnbench" --commands "$sleeper" | while IFS=$'\t' read -r -a cmd; do
	n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "${cmd[@]:1}" 2>&1 </dev/null |
		sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
	printf '| %s | %s |\n' "${cmd[0]}" "$n"
done
