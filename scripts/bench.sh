#!/usr/bin/env bash
# Builds the console benchmark and runs it against a private MariaDB server
# that lives in $BUILD_DIR/benchdb for the length of the run, then prints its
# figures. BUILD_DIR defaults to build/ (a relative path is taken from the
# repository root). Takes a few minutes: it loads journals of up to a million
# lines.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in
  /*) ;;
  *) build=$root/$build ;;
esac
dbdir=$build/benchdb

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target console_bench

"$root/scripts/dbserver.sh" stop "$dbdir"
rm -rf "$dbdir"
trap '"$root/scripts/dbserver.sh" stop "$dbdir"' EXIT
port=$("$root/scripts/dbserver.sh" start "$dbdir")

password=granovia-bench
mariadb --no-defaults -S "$dbdir/mysqld.sock" -u root <<SQL
CREATE USER 'granovia_bench'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO 'granovia_bench'@'127.0.0.1';
SQL

export GRANOVIA_TEST_DB_HOST=127.0.0.1
export GRANOVIA_TEST_DB_PORT=$port
export GRANOVIA_TEST_DB_USER=granovia_bench
export GRANOVIA_TEST_DB_PASSWORD=$password

QT_QPA_PLATFORM=offscreen "$build/bench/console_bench"
