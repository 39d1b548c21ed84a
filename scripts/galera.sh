#!/usr/bin/env bash
# A private three-node MariaDB Galera cluster in a directory of its own, on
# free loopback ports: each node with its own data, socket, client port and
# cluster ports, nothing shared with a system server. New nodes get their
# state by mariadb-backup (as root, rsync state transfer fails).
#   galera.sh start DIR      starts a fresh cluster (or finds it running) and prints the nodes' client ports
#   galera.sh stop DIR       stops every node
#   galera.sh kill DIR N     kills node N (1..3) as a crash would
#   galera.sh isolate DIR N  cuts node N off from the others; it stays up, but not ready for work
#   galera.sh heal DIR       brings isolated and killed nodes back and waits until all are in step
#   galera.sh ready DIR N    exits 0 when node N is a synced member of the primary component
set -euo pipefail

usage="usage: galera.sh start|stop|kill|isolate|heal|ready DIR [N]"
command=${1:?$usage}
dir=$(mkdir -p "${2:?$usage}" && cd "$2" && pwd)
nodes=(1 2 3)
startup_wait_s=120
sst_user=sst
sst_password=sst-granovia

node_dir() { echo "$dir/node$1"; }
socket() { echo "$(node_dir "$1")/mysqld.sock"; }
pidfile() { echo "$(node_dir "$1")/mysqld.pid"; }

running() {
  local pidfile
  pidfile=$(pidfile "$1")
  [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

# Below the machine's ephemeral range, which the kernel hands out to outgoing
# connections at any moment.
free_port() {
  local ephemeral_low port
  read -r ephemeral_low _ </proc/sys/net/ipv4/ip_local_port_range
  for port in $(shuf -i 20000-$((ephemeral_low - 1)) -n 100); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && ! grep -qx "$port" "$dir/ports" 2>/dev/null; then
      echo "$port" | tee -a "$dir/ports"
      return
    fi
  done
  echo "no free loopback port found" >&2
  exit 1
}

# Four ports for each node, chosen once: client, group communication,
# incremental and full state transfer.
port_of() {
  local node=$1 kind=$2 file
  file="$(node_dir "$node")/$kind.port"
  [ -s "$file" ] || free_port >"$file"
  cat "$file"
}

cluster_address() {
  local node addresses=()
  for node in "${nodes[@]}"; do
    addresses+=("127.0.0.1:$(port_of "$node" gcomm)")
  done
  local IFS=,
  echo "gcomm://${addresses[*]}"
}

# Failure detection within a few seconds, so that a node that died is out
# of the cluster before an operator's wait budget ends.
write_config() {
  local node=$1 home
  home=$(node_dir "$node")
  cat >"$home/my.cnf" <<CNF
[mysqld]
datadir=$home/data
socket=$(socket "$node")
pid-file=$(pidfile "$node")
port=$(port_of "$node" client)
bind-address=127.0.0.1
skip-name-resolve
user=$(id -un)
log-error=$home/error.log
innodb-buffer-pool-size=64M
innodb-log-file-size=16M
innodb-flush-log-at-trx-commit=2
binlog-format=ROW
default-storage-engine=InnoDB
innodb-autoinc-lock-mode=2
wsrep-on=ON
wsrep-provider=/usr/lib/galera/libgalera_smm.so
wsrep-cluster-name=granovia_test
wsrep-cluster-address=$(cluster_address)
wsrep-node-name=node$node
wsrep-node-address=127.0.0.1:$(port_of "$node" gcomm)
wsrep-node-incoming-address=127.0.0.1:$(port_of "$node" client)
wsrep-sst-method=mariabackup
wsrep-sst-auth=$sst_user:$sst_password
wsrep-sst-receive-address=127.0.0.1:$(port_of "$node" sst)
wsrep-provider-options=gmcast.listen_addr=tcp://127.0.0.1:$(port_of "$node" gcomm);ist.recv_addr=127.0.0.1:$(port_of "$node" ist);gcache.size=32M;evs.keepalive_period=PT0.3S;evs.inactive_check_period=PT0.5S;evs.suspect_timeout=PT1.5S;evs.inactive_timeout=PT3S;evs.install_timeout=PT3S

[sst]
progress=0
CNF
}

client() {
  mariadb --no-defaults -S "$(socket "$1")" -u root -N -B "${@:2}"
}

is_ready() {
  local state
  state=$(client "$1" -e "show status where variable_name in ('wsrep_ready', 'wsrep_local_state_comment', 'wsrep_cluster_status')" 2>/dev/null |
    awk '{print $2}' | sort | tr '\n' ' ')
  [ "$state" = "ON Primary Synced " ]
}

wait_ready() {
  local node=$1 waited=0
  until is_ready "$node"; do
    if ! running "$node"; then
      echo "node $node of the Galera cluster did not start; see $(node_dir "$node")/error.log" >&2
      exit 1
    fi
    sleep 0.5
    waited=$((waited + 1))
    if [ $waited -ge $((startup_wait_s * 2)) ]; then
      echo "node $node of the Galera cluster did not get in step; see $(node_dir "$node")/error.log" >&2
      exit 1
    fi
  done
}

launch() {
  local node=$1
  shift
  mariadbd --defaults-file="$(node_dir "$node")/my.cnf" "$@" >/dev/null 2>&1 &
  # The server writes its pid file only once it is in step; a joiner in a
  # state transfer runs long before that.
  echo $! >"$(pidfile "$node")"
}

# The first node founds the cluster on a fresh data directory, with the user
# that the others' state transfers log in as.
bootstrap() {
  local home
  home=$(node_dir 1)
  if [ ! -d "$home/data/mysql" ]; then
    mariadb-install-db --no-defaults --datadir="$home/data" --user="$(id -un)" \
      --auth-root-authentication-method=normal --skip-test-db >"$home/install.log" 2>&1
  fi
  launch 1 --wsrep-new-cluster
  wait_ready 1
  client 1 -e "create user if not exists '$sst_user'@'localhost' identified by '$sst_password';
    grant reload, process, lock tables, binlog monitor on *.* to '$sst_user'@'localhost'"
}

any_running() {
  local node
  for node in "${nodes[@]}"; do
    running "$node" && return 0
  done
  return 1
}

start() {
  local node
  if ! any_running; then
    rm -rf "${dir:?}"/node* "$dir/ports"
  fi
  for node in "${nodes[@]}"; do
    mkdir -p "$(node_dir "$node")/data"
    port_of "$node" client >/dev/null
    port_of "$node" gcomm >/dev/null
    port_of "$node" ist >/dev/null
    port_of "$node" sst >/dev/null
  done
  for node in "${nodes[@]}"; do
    write_config "$node"
  done
  if ! running 1; then
    bootstrap
  fi
  # One state transfer at a time: the donor serves one joiner.
  for node in "${nodes[@]:1}"; do
    running "$node" || launch "$node"
    wait_ready "$node"
  done
  for node in "${nodes[@]}"; do
    printf '%s ' "$(port_of "$node" client)"
  done
  echo
}

stop() {
  local node pid
  for node in "${nodes[@]}"; do
    running "$node" || continue
    pid=$(cat "$(pidfile "$node")")
    client "$node" -e shutdown >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
  done
  for node in "${nodes[@]}"; do
    [ -f "$(pidfile "$node")" ] || continue
    pid=$(cat "$(pidfile "$node")")
    while kill -0 "$pid" 2>/dev/null; do sleep 0.2; done
  done
}

crash() {
  local node=${1:?node number}
  running "$node" || return 0
  local pid
  pid=$(cat "$(pidfile "$node")")
  kill -KILL "$pid"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

# A crashed node first recovers its last position, so that it catches up by
# an incremental transfer from a live node's cache.
rejoin() {
  local node=${1:?node number} position
  running "$node" && { wait_ready "$node"; return; }
  mariadbd --defaults-file="$(node_dir "$node")/my.cnf" --wsrep-recover --log-error="$(node_dir "$node")/recover.log" \
    >/dev/null 2>&1 || true
  position=$(sed -n 's/.*WSREP: Recovered position: \(.*\)$/\1/p' "$(node_dir "$node")/recover.log" | tail -1)
  if [ -n "$position" ]; then
    launch "$node" --wsrep-start-position="$position"
  else
    launch "$node"
  fi
  wait_ready "$node"
}

set_isolation() {
  client "$1" -e "set global wsrep_provider_options = 'gmcast.isolate=$2'"
}

isolate() {
  local node=${1:?node number}
  set_isolation "$node" 1
  local waited=0
  until [ "$(client "$node" -e "show status like 'wsrep_ready'" | awk '{print $2}')" = OFF ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ $waited -ge $((startup_wait_s * 10)) ]; then
      echo "node $node of the Galera cluster stays ready though cut off" >&2
      exit 1
    fi
  done
}

heal() {
  local node
  for node in "${nodes[@]}"; do
    if running "$node"; then
      set_isolation "$node" 0
    fi
  done
  for node in "${nodes[@]}"; do
    rejoin "$node"
  done
}

case "$command" in
  start) start ;;
  stop) stop ;;
  kill) crash "${3:-}" ;;
  isolate) isolate "${3:-}" ;;
  heal) heal ;;
  ready) is_ready "${3:?node number}" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
