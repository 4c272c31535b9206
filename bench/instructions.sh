#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Counts the user-space instructions of one run of sigsend and of its peers
# with callgrind. The counts repeat exactly in the same environment (its size
# moves them), so they track start-up cost across changes better than timings
# do. The commands are spawnbench's own.
# Usage: bench/instructions.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
[ -x "$build/bench/spawnbench" ] || {
	echo "no $build/bench/spawnbench: configure with -DSIGSEND_BENCHMARKS=ON and build" >&2
	exit 1
}
if ! command -v valgrind >/dev/null; then
	echo "(instruction counts skipped: install valgrind to get them)"
	exit 0
fi

# The trap's signal must find sleep, not the bash that forks it, whose own
# SIGTERM handler for the trap would swallow it: wait for the exec.
env --default-signal=TERM sleep 600 &
sleeper=$!
trap 'kill "$sleeper"' EXIT
until [ "/proc/$sleeper/exe" -ef "$(command -v sleep)" ]; do :; done

echo "| command | instructions |"
echo "|---|---|"
"$build/bench/spawnbench" --commands "$sleeper" | while IFS=$'\t' read -r -a cmd; do
	n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "${cmd[@]:1}" 2>&1 </dev/null |
		sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
	printf '| %s | %s |\n' "${cmd[0]}" "$n"
done
