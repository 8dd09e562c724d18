#!/usr/bin/env bash
# Runs a test program against a throwaway PostgreSQL server made from Debian's
# postgresql package: a cluster in a temporary folder, listening on a Unix
# socket only, run as an unprivileged user (nobody, when started as root), and
# stopped and removed at the end. The program finds it in KALENT_TEST_STORE and
# can stop and start it with the commands in KALENT_TEST_PG_STOP/START.
# Exit 77 (ctest's skip) when no server can be started here, saying why;
# with KALENT_REQUIRE_POSTGRESQL=1 (CI) that is a failure instead.
# usage: with-postgresql.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

skip() {
    echo "PostgreSQL tests skipped: $*"
    [ "${KALENT_REQUIRE_POSTGRESQL:-0}" = 1 ] && exit 1
    exit 77
}

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1 || true)
[ -n "$bindir" ] && [ -x "$bindir/pg_ctl" ] ||
    skip "no PostgreSQL server installed (apt-get install postgresql)"

work=$(mktemp -d "${TMPDIR:-/tmp}/kalent-pg.XXXXXX")
run_as=()
if [ "$(id -u)" -eq 0 ]; then
    # The server refuses to run as root.
    run_as=(runuser -u nobody --)
    chown nobody "$work"
    chmod 755 "$work"
fi
as_server() { "${run_as[@]}" "$@"; }
data="$work/data"
socket="$work/socket"
as_server mkdir "$socket"
pg_ctl=("$bindir/pg_ctl" -D "$data" -l "$work/server.log" -w -t 60)
options="-c listen_addresses= -k $socket -c fsync=off"
cleanup() {
    as_server "${pg_ctl[@]}" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

as_server "$bindir/initdb" -D "$data" -U kalent --auth=trust -E UTF8 --no-locale \
    >"$work/initdb.log" 2>&1 || skip "initdb failed: $(tail -n3 "$work/initdb.log")"
as_server "${pg_ctl[@]}" -o "$options" start >/dev/null 2>&1 ||
    skip "the server did not start: $(tail -n3 "$work/server.log")"
as_server "$bindir/createdb" -h "$socket" -U kalent kalent_test ||
    skip "createdb failed"

printf -v stop '%q ' "${run_as[@]}" "${pg_ctl[@]}" -m fast stop
printf -v start '%q ' "${run_as[@]}" "${pg_ctl[@]}" -o "$options" start
export KALENT_TEST_STORE="postgresql:///kalent_test?host=$socket&user=kalent"
export KALENT_TEST_PG_STOP="$stop >/dev/null"
export KALENT_TEST_PG_START="$start >/dev/null"
echo "PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') on $socket"
"$@"
