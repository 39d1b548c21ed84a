#!/usr/bin/env bash
# The Debian package as an operator's machine gets it: built from this build
# tree and unpacked into a scratch root, its program started from
# /opt/granovia/silo with the suite's granovia.ini one folder up pointing at
# the test server. The start record must carry that file's workstation
# number, and a second start, by an operator in the group, must write
# FormVersion into the own INI in place, as the folder takes no new files.
#   tst_package.sh BUILD_DIR SCHEMA_SQL
set -euo pipefail

build=$1
schema=$2
: "${GRANOVIA_TEST_DB_PORT:?No test database: run the suite through scripts/test.sh}"
database=t_package
workstation=41
# Stands for the group granovia, which the test machine need not have.
operator_gid=64123
nobody=65534
start_timeout_s=20

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=$(mktemp -d "$build/tst_package.XXXXXX")
chmod 0755 "$scratch"
sql=(mariadb --no-defaults -h "$GRANOVIA_TEST_DB_HOST" -P "$GRANOVIA_TEST_DB_PORT"
  -u "$GRANOVIA_TEST_DB_USER" "-p$GRANOVIA_TEST_DB_PASSWORD" -N -B)
first=
cleanup() {
  [ -z "$first" ] || kill "$first" 2>/dev/null || true
  "${sql[@]}" -e "drop database if exists $database" || true
  chmod -R u+w "$scratch"
  rm -rf "$scratch"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" ||
  fail "cpack: $(cat "$scratch/cpack.log")"
deb=$(echo "$scratch"/out/granovia-silo_*_*.deb)
[ -f "$deb" ] || fail "no package built"
# Only what the package's own overrides explain is expected.
lintian --fail-on error,warning,info "$deb" 2>/dev/null || fail "lintian: $(lintian -I "$deb" 2>&1)"
# An INI file in the package would overwrite the store's settings on upgrade.
! dpkg-deb -c "$deb" | grep -iE '\.ini$' || fail "the package carries an INI file"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q libqt6widgets6 <<<"$depends" && grep -q libmariadb <<<"$depends" && grep -q qt6-translations-l10n <<<"$depends" &&
  grep -q libzint <<<"$depends" || fail "Depends lacks Qt, its Czech texts, the MariaDB client or libzint: $depends"

root=$scratch/root
silo=$root/opt/granovia/silo
dpkg-deb -x "$deb" "$root"
[ -f "$silo/zelena.bmp" ] && [ -f "$silo/cervena.bmp" ] || fail "the board's tiles are not beside the program"

# The operators' files as the package's postinst leaves them, group-writable
# in a folder they cannot write to. Run by root, the program runs as an
# unprivileged member of the group; otherwise as the caller, whose own files
# they are, with the folder closed to the caller.
own_ini=$silo/granovia-silo.INI
install -m 0660 /dev/null "$own_ini"
install -m 0660 /dev/null "$silo/col.ini"
runtime=$scratch/runtime
install -d -m 0700 "$runtime"
operator=()
if [ "$(id -u)" -eq 0 ]; then
  chgrp "$operator_gid" "$own_ini" "$silo/col.ini"
  chown "$nobody" "$runtime"
  operator=(setpriv "--reuid=$nobody" "--regid=$nobody" "--groups=$operator_gid" --)
else
  chmod a-w "$silo"
fi
printf '[LogOn]\r\nIP=%s\r\nSQLport=%s\r\nUser=%s\r\nPassword=%s\r\nDatabase=%s\r\nCisloPC=%s\r\n' \
  "$GRANOVIA_TEST_DB_HOST" "$GRANOVIA_TEST_DB_PORT" "$GRANOVIA_TEST_DB_USER" \
  "$GRANOVIA_TEST_DB_PASSWORD" "$database" "$workstation" >"$root/opt/granovia/granovia.ini"

"${sql[@]}" -e "drop database if exists $database; create database $database character set cp1250"
"${sql[@]}" "$database" <"$schema"
records() {
  "${sql[@]}" "$database" -e "select count(*) from historiem where pc = '$workstation'"
}

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime HOME=$runtime
"${operator[@]}" "$silo/granovia-silo" >"$scratch/first.log" 2>&1 &
first=$!
for ((tenths = 0; tenths < start_timeout_s * 10; tenths++)); do
  [ "$(records)" -eq 0 ] || break
  sleep 0.1
done
[ "$(records)" -eq 1 ] || fail "no start record from workstation $workstation: $(cat "$scratch/first.log")"

file_before=$(stat -c '%i %a' "$own_ini")
timeout "$start_timeout_s" "${operator[@]}" "$silo/granovia-silo" >"$scratch/second.log" 2>&1 ||
  fail "the second start did not end by itself: $(cat "$scratch/second.log")"
[ "$(records)" -eq 2 ] || fail "the second start wrote no start record"
grep -q '^FormVersion=0' "$own_ini" || fail "no FormVersion in the own INI: $(cat "$scratch/second.log")"
[ "$(stat -c '%i %a' "$own_ini")" = "$file_before" ] || fail "the own INI was replaced, not written in place"
echo "PASS: $(basename "$deb") unpacked, started and closed as an operator"
