#!/usr/bin/env bash
# Builds the program and runs the whole test suite against a private MariaDB
# server that lives in build/testdb for the length of the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
dbdir=$build/testdb

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2

"$root/scripts/dbserver.sh" stop "$dbdir"
rm -rf "$dbdir"
port=$("$root/scripts/dbserver.sh" start "$dbdir")
trap '"$root/scripts/dbserver.sh" stop "$dbdir"' EXIT

password=granovia-test
mariadb --no-defaults -S "$dbdir/mysqld.sock" -u root <<SQL
CREATE USER 'granovia_test'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO 'granovia_test'@'127.0.0.1';
SQL

export GRANOVIA_TEST_DB_HOST=127.0.0.1
export GRANOVIA_TEST_DB_PORT=$port
export GRANOVIA_TEST_DB_USER=granovia_test
export GRANOVIA_TEST_DB_PASSWORD=$password

cd "$build"
# Tests that look at real windows get an X server of their own.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 "$@"
