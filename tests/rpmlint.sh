#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# rpmlint on RPM..., with scripts/rpmlint.toml and, as the only licences and
# exceptions that a package may name, those of the SBOMs' expressions: MIT
# alone, sigsend's own, where none is given.
# Usage: tests/rpmlint.sh [SBOM...] -- RPM...
set -euo pipefail
sboms=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do sboms+=("$1"); shift; done
[ $# -gt 1 ] || { echo "usage: tests/rpmlint.sh [SBOM...] -- RPM..." >&2; exit 2; }
shift
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
cp "$(dirname "$0")/../scripts/rpmlint.toml" "$config/"
terms=$( { echo MIT; [ ${#sboms[@]} -eq 0 ] || jq -r '.packages[0].licenseConcluded' "${sboms[@]}"; } |
	sed 's/ AND /\n/g')
# shellcheck disable=SC2001 # each line of a list
{
	printf 'ValidLicenses = [%s]\n' "$(sed 's/ WITH .*//' <<<"$terms" | sort -u | sed 's/.*/"&"/' | paste -sd,)"
	printf 'ValidLicenseExceptions = [%s]\n' "$(sed -n 's/.* WITH //p' <<<"$terms" | sort -u |
		sed 's/.*/"&"/' | paste -sd,)"
} >"$config/licences.toml"
rpmlint -c "$config" "$@"
