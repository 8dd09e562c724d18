#!/usr/bin/env bash
# The command-line conventions: -h is --help and -v is --version, for the
# program and for an action; --version gives the title, then the package
# version; the general help names --version.
# usage: short-options.sh PROGRAM PACKAGE_VERSION
set -euo pipefail
program=$1 package_version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

expected=$'КАЛЕНТ-сервис 2008_06_06\nВерсия пакета: '"$package_version"
for words in "--version" "-v" "db-list -v"; do
    # shellcheck disable=SC2086
    out=$("$program" $words) || fail "$words exited $?"
    [ "$out" = "$expected" ] || fail "$words printed: $out"
done
for pair in "--help|-h" "db-list --help|db-list -h"; do
    long=${pair%|*} short=${pair#*|}
    # shellcheck disable=SC2086
    [ "$("$program" $long)" = "$("$program" $short)" ] || fail "$short differs from $long"
done
help=$("$program" --help) # read whole: a reader leaving early is a failed output
grep -q -- '--version' <<<"$help" || fail "--help does not name --version"
grep -q -- '-h | --help' <<<"$help" || fail "--help does not name -h"
echo "-h, -v, --version and --help answer as documented"
