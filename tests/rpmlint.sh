#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# rpmlint on RPM..., with scripts/rpmlint.toml and, as the only licences and
# exceptions that a package may name, those of the SBOMs' expressions: MIT
# alone, sigsend's own, where none is given.
# Usage: tests/rpmlint.sh [SBOM...] -- RPM...
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
sboms=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do sboms+=("$1"); shift; done
[ $# -gt 1 ] || usage "[SBOM...] -- RPM..."
shift
config="" && temporary config
cp "$(dirname "$0")/../scripts/rpmlint.toml" "$config/"
# Each SBOM's concluded licence of sigsend, the first package, a line each.
concluded=$(/usr/bin/python3 -I -c 'import json, sys
for path in sys.argv[1:]:
    with open(path, encoding="utf-8") as file:
        print(json.load(file)["packages"][0]["licenseConcluded"])' "${sboms[@]}") ||
	fail "cannot read the licences of ${sboms[*]}"
terms=$(printf 'MIT\n%s\n' "$concluded" | sed 's/ AND /\n/g' | grep .)
# shellcheck disable=SC2001 # each line of a list
licences=$(sed 's/ WITH .*//' <<<"$terms" | sort -u | sed 's/.*/"&"/' | paste -sd,)
exceptions=$(sed -n 's/.* WITH //p' <<<"$terms" | sort -u | sed 's/.*/"&"/' | paste -sd,)
printf 'ValidLicenses = [%s]\nValidLicenseExceptions = [%s]\n' "$licences" "$exceptions" >"$config/licences.toml"
rpmlint -c "$config" "$@"
