# Sourced by test.sh and bench.sh: a fresh private MariaDB server in DIR for
# the length of the run, with one user, described to the programs in the
# GRANOVIA_TEST_DB_* variables. Stopped when the calling script exits.
#   start_test_server DIR USER PASSWORD

start_test_server() {
  local dir=$1 user=$2 password=$3
  local scripts
  scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  "$scripts/dbserver.sh" stop "$dir"
  rm -rf "$dir"
  # shellcheck disable=SC2064 # the directory is fixed now, on purpose
  trap "'$scripts/dbserver.sh' stop '$dir'" EXIT
  local port
  port=$("$scripts/dbserver.sh" start "$dir")
  mariadb --no-defaults -S "$dir/mysqld.sock" -u root <<SQL
CREATE USER '$user'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO '$user'@'127.0.0.1' WITH GRANT OPTION;
SQL
  export GRANOVIA_TEST_DB_HOST=127.0.0.1
  export GRANOVIA_TEST_DB_PORT=$port
  export GRANOVIA_TEST_DB_USER=$user
  export GRANOVIA_TEST_DB_PASSWORD=$password
}
