#!/usr/bin/env bash
# A private MariaDB server in a directory of its own: its own data, socket and
# loopback port, nothing shared with a system server.
#   dbserver.sh start DIR [OPTION...]
#                           starts it (or finds it running) and prints its port;
#                           the options go to mariadbd (certificates, for one)
#   dbserver.sh stop DIR    stops it
set -euo pipefail

command=${1:?usage: dbserver.sh start|stop DIR}
dir=$(mkdir -p "${2:?usage: dbserver.sh start|stop DIR}" && cd "$2" && pwd)
server_options=("${@:3}")
socket=$dir/mysqld.sock
pidfile=$dir/mysqld.pid
startup_wait_s=60
# Ports taken by someone else between the check and the bind, tried in a row.
bind_tries=5

running() {
  [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

# A port below the machine's ephemeral range, which the kernel hands out to
# outgoing connections at any moment; one that is taken between this check and
# the server's bind is caught by start(), which then picks another.
free_port() {
  local ephemeral_low port
  read -r ephemeral_low _ </proc/sys/net/ipv4/ip_local_port_range
  for port in $(shuf -i 20000-$((ephemeral_low - 1)) -n 100); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  echo "no free loopback port found" >&2
  exit 1
}

# Starts mariadbd on the port in $dir/port and waits until it answers.
# Returns 2 when the port was taken, 1 on any other failure.
launch() {
  local port waited=0 server logged
  port=$(cat "$dir/port")
  logged=$(cat "$dir/error.log" 2>/dev/null | wc -l)
  # Temporary tables in a folder of the server's own: a cleaner of the
  # machine's /tmp cannot take them away in the middle of a statement.
  mkdir -p "$dir/tmp"
  mariadbd --no-defaults --datadir="$dir/data" --socket="$socket" --pid-file="$pidfile" \
    --port="$port" --bind-address=127.0.0.1 --skip-name-resolve --user="$(id -un)" \
    --log-error="$dir/error.log" --innodb-buffer-pool-size=256M --tmpdir="$dir/tmp" \
    --innodb-flush-log-at-trx-commit=2 "${server_options[@]}" >/dev/null 2>&1 &
  server=$!
  until mariadb-admin --no-defaults -S "$socket" -u root ping >/dev/null 2>&1; do
    if ! kill -0 "$server" 2>/dev/null; then
      tail -n +$((logged + 1)) "$dir/error.log" | grep -q "Bind on TCP/IP port" && return 2
      return 1
    fi
    sleep 0.5
    waited=$((waited + 1))
    [ $waited -lt $((startup_wait_s * 2)) ] || return 1
  done
}

start() {
  if running; then
    cat "$dir/port"
    return
  fi
  if [ ! -d "$dir/data/mysql" ]; then
    mariadb-install-db --no-defaults --datadir="$dir/data" --user="$(id -un)" \
      --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1
  fi
  [ -s "$dir/port" ] || free_port >"$dir/port"
  local tries=0 status
  while :; do
    status=0
    launch || status=$?
    [ $status -eq 0 ] && break
    tries=$((tries + 1))
    if [ $status -ne 2 ] || [ $tries -ge $bind_tries ]; then
      echo "the private MariaDB server did not start; see $dir/error.log" >&2
      exit 1
    fi
    free_port >"$dir/port"
  done
  cat "$dir/port"
}

stop() {
  running || return 0
  mariadb-admin --no-defaults -S "$socket" -u root shutdown >/dev/null 2>&1 || kill "$(cat "$pidfile")"
}

case "$command" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: dbserver.sh start|stop DIR [OPTION...]" >&2; exit 2 ;;
esac
