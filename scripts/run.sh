#!/usr/bin/env bash
# Runs the console on its own local database with demo silos: a private
# MariaDB server under var/, started once and reused by later runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
dbdir=$root/var/mysql
user=granovia
password=granovia-demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show the console on: run it under Xvfb, e.g. xvfb-run -a scripts/run.sh" >&2
  exit 1
fi

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 >/dev/null

fresh=no
[ -d "$dbdir/data/mysql" ] || fresh=yes
port=$("$root/scripts/dbserver.sh" start "$dbdir")
if [ $fresh = yes ]; then
  client=(mariadb --no-defaults -S "$dbdir/mysqld.sock" -u root --default-character-set=utf8mb4)
  "${client[@]}" <<SQL
CREATE DATABASE granovia CHARACTER SET cp1250;
CREATE USER '$user'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON granovia.* TO '$user'@'127.0.0.1';
SQL
  "${client[@]}" granovia <"$root/db/schema.sql"
  "${client[@]}" granovia <"$root/db/demo.sql"
fi

# The program's own INI file points it at the demo server.
printf '[LogOn]\r\nIP=127.0.0.1\r\nUser=%s\r\nPassword=%s\r\nSQLport=%s\r\n' \
  "$user" "$password" "$port" >"$build/granovia-silo.INI"

exec "$build/granovia-silo" "$@"
