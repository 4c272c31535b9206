#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# A program that links code which an advisory names (iconv, through
# iconv_open) ships only as `fixed`, where the changelog of the musl that
# supplied it names the advisory, and is refused, with nothing written, where
# it does not. The musl is a copy of the build's own, laid out as a build from
# source is, so that its changelog is the test's.
# Usage: tests/advisories.sh CXX MUSL_SPECS SCRATCH
set -euo pipefail
# shellcheck source=tests/common.sh disable=SC1091 # checked on its own
. "$(dirname "$0")/common.sh"
[ $# -eq 3 ] || usage "CXX MUSL_SPECS SCRATCH"
cxx=$1 specs=$2 scratch=$3
top=$(cd "$(dirname "$0")/.." && pwd)
lib=$(dirname "$(realpath "$specs")")
rm -rf "$scratch"
mkdir -p "$scratch/musl"
cp "$lib/libc.a" "$lib/Scrt1.o" "$lib/crti.o" "$lib/crtn.o" "$scratch/musl/"
if [ -e "$lib/source" ]; then
	cp "$lib/source" "$lib/copyright" "$scratch/musl/"
else
	owner=$(dpkg-query -S "$lib/libc.a") || fail "no package owns $lib/libc.a"
	package=${owner%%: *}
	fields=$(dpkg-query -W -f='${source:Package} ${Version}' "$package") || fail "dpkg-query: $package"
	echo "$fields" >"$scratch/musl/source"
	cp "/usr/share/doc/${package%%:*}/copyright" "$scratch/musl/copyright"
fi

cd "$scratch"
printf '%s\n' '#include <iconv.h>' \
	'int main() { return iconv_open("UTF-8", "EUC-KR") == reinterpret_cast<iconv_t>(-1); }' >iconv.cpp
"$cxx" -specs="$specs" -fno-exceptions -fno-rtti -fno-pie -c iconv.cpp
musl=$scratch/musl # by absolute paths, as the map must name what is not the program's own
"$cxx" -specs="$specs" -static -no-pie -nodefaultlibs -nostartfiles -o iconv "$musl/Scrt1.o" \
	"$musl/crti.o" iconv.o -Wl,-Map=iconv.map "$musl/libc.a" -lgcc "$musl/libc.a" "$musl/crtn.o"
grep -q 'musl/libc\.a(iconv\.lo)$' iconv.map || fail "the program links no iconv.lo"

# A changelog line naming ADVISORY... as fixed, in a changelog that gzip wrote.
changelog() {
	printf 'musl (%s) unstable; urgency=medium\n\n  * Fix %s.\n\n -- Test <t@example.org>  Thu, 01 Jan 2026 00:00:00 +0000\n' \
		"$(cut -d' ' -f2 musl/source)" "$*" | gzip -9n >musl/changelog.Debian.gz
}
describe() {
	/usr/bin/python3 -I -B "$top/scripts/documents" notices out iconv iconv.map 1.0.0 "" "$cxx" "$top/LICENSE" 2>&1
}

changelog "a typo"
status=0
said=$(describe) || status=$?
[ "$status" -eq 1 ] || fail "a changelog without the fix: status $status, not 1: $said"
[[ $said == *"CVE-2025-26519 in libc.a(iconv.lo)"* && $said == *"CVE-2026-6042 in libc.a(iconv.lo)"* ]] ||
	fail "the refusal names neither advisory: $said"
if [ -e out/sigsend.openvex.json ] || [ -e out/sigsend.spdx.json ]; then
	fail "a refused build left its SBOM or VEX"
fi
echo "ok: refused without the fix: $said"

changelog "CVE-2025-26519 and CVE-2026-6042"
said=$(describe) || fail "a changelog that names both fixes: $said"
statuses=$(/usr/bin/python3 -I -c 'import json, sys
print(" ".join("%s=%s" % (s["vulnerability"]["name"], s["status"]) for s in json.load(open(sys.argv[1]))["statements"]))' \
	out/sigsend.openvex.json)
want="CVE-2025-26519=fixed CVE-2026-6042=fixed CVE-2026-40200=not_affected"
[ "$statuses" = "$want" ] || fail "with the fixes named: $statuses, not $want"
echo "ok: $statuses"
echo "advisories: 2 passed, 0 failed"
