#!/usr/bin/env bash
# A private MariaDB server for the main job and the tests, run as the current user with its data,
# socket, pid file and log under DIR; the system's server and its configuration are never touched.
# Usage: bash scripts/db/private-server.sh start DIR   prints 127.0.0.1:PORT once the server answers
#        bash scripts/db/private-server.sh stop DIR    clean shutdown; harmless when not running
#        bash scripts/db/private-server.sh status DIR  prints the address, exit 1 when not running
# On start the database, its user and the tables are created when missing (scripts/db/create-database.sh).
# A restart keeps the data and the port when it is still free, so a writing client reconnects to the
# same address. Environment: DB_NAME (default mydb), DB_USER (default alertserver), DB_PASSWORD
# (default rwqpznt), DB_FLUSH_AT_COMMIT (default 2: no fsync per commit; 1: durable commits).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

usage() {
  echo "usage: $0 start|stop|status DIR" >&2
  exit 2
}
(($# == 2)) || usage
command=$1
case "$command" in
  start) (umask 077 && mkdir -p "$2") ;;
  stop | status) [[ -d "$2" ]] || { [[ "$command" == stop ]] && exit 0 || exit 1; } ;;
  *) usage ;;
esac
dir=$(cd "$2" && pwd)
data=$dir/data
socket=$dir/mysqld.sock
# A socket path holds at most 107 bytes; a deep DIR gets one in /tmp named after it instead.
((${#socket} <= 107)) || socket=/tmp/tarnwell-db-$(printf '%s' "$dir" | md5sum | cut -c1-16).sock
pid_file=$dir/mariadbd.pid
err_log=$dir/mariadbd.err
port_file=$dir/port

log() { echo "private-server: $*" >&2; }
die() { log "$*"; exit 1; }

# mariadbd lives in sbin, often missing from a normal user's PATH.
find_program() {
  local name=$1 path
  path=$(PATH=$PATH:/usr/sbin:/usr/local/sbin:/usr/libexec command -v "$name" || true)
  [[ -n "$path" ]] || die "$name not found; install the packages in scripts/packages/database.txt"
  echo "$path"
}

# Alive and not a zombie: a server that died may linger as one until its parent reaps it.
alive() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [[ "${stat%% *}" != Z ]]
}

# The pid of the server running for DIR, or nothing: a stale pid file (after a crash) does not count.
server_pid() {
  local pid
  pid=$(cat "$pid_file" 2>/dev/null || true)
  [[ "$pid" =~ ^[0-9]+$ ]] || return 0
  if [[ "$(cat "/proc/$pid/comm" 2>/dev/null || true)" == mariadbd ]] && alive "$pid"; then
    echo "$pid"
  fi
}

root_client() { "$client" --no-defaults --socket="$socket" -u root "$@"; }

port_free() {
  local port=$1
  # Only a listening socket takes the port: the server binds with SO_REUSEADDR, so the connections a killed
  # or stopped server leaves behind on its old port (TIME-WAIT, or FIN-WAIT while a client has not noticed)
  # do not keep it from coming back there, where its clients reconnect.
  if command -v ss >/dev/null; then
    [[ -z "$(ss -Htln "sport = :$port" 2>/dev/null)" ]]
  else
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 1; fi
  fi
}

# The old port when free, else one from a random start below Linux's ephemeral range, where outgoing
# connections cannot take it between a stop and the next start.
pick_port() {
  local preferred=${1:-} port i
  if [[ -n "$preferred" ]] && port_free "$preferred"; then
    echo "$preferred"
    return
  fi
  port=$((20000 + RANDOM % 12000))
  for ((i = 0; i < 12000; i++)); do
    if port_free "$port"; then
      echo "$port"
      return
    fi
    port=$((port + 1 > 31999 ? 20000 : port + 1))
  done
  die "no free TCP port in 20000-31999"
}

initialise() {
  local install_db staging=$dir/data.init
  install_db=$(find_program mariadb-install-db)
  log "initialising $data"
  rm -rf "$staging"
  # 'normal' gives root@localhost no password, whichever user runs this: the only way in is the
  # socket under DIR. The passwordless root accounts over TCP that come with it are dropped.
  echo "DELETE FROM mysql.global_priv WHERE User = 'root' AND Host <> 'localhost';
DELETE FROM mysql.proxies_priv WHERE User = 'root' AND Host <> 'localhost';" >"$dir/install-db.sql"
  if ! "$install_db" --no-defaults --datadir="$staging" --user="$(id -un)" \
    --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve \
    --extra-file="$dir/install-db.sql" "${innodb_options[@]}" >"$dir/install-db.log" 2>&1; then
    tail -n 30 "$dir/install-db.log" >&2
    die "mariadb-install-db failed (log in $dir/install-db.log)"
  fi
  # Initialised aside and renamed, so an interrupted first start never leaves a half-made data folder.
  mv "$staging" "$data"
}

# Starts mariadbd on a port and waits until it answers on the socket. Returns 3 when the port was
# taken meanwhile, so the caller can try another.
launch() {
  local port=$1 pid deadline
  # shellcheck disable=SC2054 # the commas belong to --sql-mode
  local options=(--no-defaults --datadir="$data" --socket="$socket" --port="$port"
    --bind-address=127.0.0.1 --pid-file="$pid_file" --log-error="$err_log" --skip-name-resolve
    # Without an option file the server would default to latin1; the writer sends UTF-8 text.
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci
    # The writer's statements quote strings with double quotes: no ANSI_QUOTES.
    --sql-mode=STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_AUTO_CREATE_USER,NO_ENGINE_SUBSTITUTION
    "${innodb_options[@]}"
    # No fsync per commit: commits still survive a server crash, only a machine crash may lose the
    # last second, and tests that write many rows don't wait on the disk. DB_FLUSH_AT_COMMIT=1 makes
    # every commit durable, as on a production server.
    --innodb-flush-log-at-trx-commit="${DB_FLUSH_AT_COMMIT:-2}")
  # mariadbd refuses to run as root unless told to.
  [[ $(id -u) -ne 0 ]] || options+=(--user=root)
  local marker=0
  [[ ! -f "$err_log" ]] || marker=$(wc -l <"$err_log")
  rm -f "$pid_file"
  # In its own session, with no descriptor of ours, so the caller's $(...) returns and a signal to
  # the caller's process group does not reach the server.
  if command -v setsid >/dev/null; then
    setsid "$mariadbd" "${options[@]}" </dev/null >>"$err_log" 2>&1 9>&- &
  else
    nohup "$mariadbd" "${options[@]}" </dev/null >>"$err_log" 2>&1 9>&- &
  fi
  pid=$!
  disown "$pid" 2>/dev/null || true
  deadline=$((SECONDS + 30))
  until root_client --connect-timeout=2 -e 'SELECT 1' >/dev/null 2>&1; do
    if ! alive "$pid"; then
      if tail -n +"$((marker + 1))" "$err_log" | grep -q -e 'Bind on TCP/IP port' -e 'Address already in use'; then
        return 3
      fi
      tail -n 20 "$err_log" >&2
      die "mariadbd exited during start-up (log in $err_log)"
    fi
    if ((SECONDS >= deadline)); then
      kill -KILL "$pid" 2>/dev/null || true
      tail -n 20 "$err_log" >&2
      die "mariadbd did not answer within 30 s (log in $err_log)"
    fi
    sleep 0.1
  done
}

start() {
  local pid port previous rc
  pid=$(server_pid)
  if [[ -n "$pid" ]]; then
    echo "127.0.0.1:$(cat "$port_file")"
    return
  fi
  client=$(find_program mariadb)
  mariadbd=$(find_program mariadbd)
  [[ -d "$data/mysql" ]] || initialise
  previous=$(cat "$port_file" 2>/dev/null || true)
  [[ "$previous" =~ ^[0-9]+$ ]] || previous=
  for _ in 1 2 3 4 5; do
    port=$(pick_port "$previous")
    rc=0
    launch "$port" || rc=$?
    ((rc == 3)) || break
    log "port $port was taken during start-up, trying another"
    previous=
  done
  ((rc == 0)) || die "could not bind a port after 5 attempts (log in $err_log)"
  [[ -z "$previous" || "$previous" == "$port" ]] || log "port $previous is in use; now on $port"
  echo "$port" >"$port_file"
  if ! "$here/create-database.sh" --no-defaults --socket="$socket" -u root; then
    # Not left running half set up: the next start would take it as ready.
    stop
    die "setting up the database failed"
  fi
  log "running on 127.0.0.1:$port (socket $socket, log $err_log)"
  echo "127.0.0.1:$port"
}

stop() {
  local pid deadline
  pid=$(server_pid)
  if [[ -z "$pid" ]]; then
    log "not running"
    return
  fi
  admin=$(find_program mariadb-admin)
  timeout 30 "$admin" --no-defaults --socket="$socket" -u root --connect-timeout=5 shutdown >/dev/null 2>&1 ||
    kill -TERM "$pid" 2>/dev/null || true
  deadline=$((SECONDS + 30))
  while alive "$pid"; do
    if ((SECONDS >= deadline)); then
      log "mariadbd $pid still running after 30 s; killing it"
      kill -KILL "$pid" 2>/dev/null || true
      sleep 0.5
      break
    fi
    sleep 0.1
  done
  rm -f "$pid_file"
  log "stopped"
}

status() {
  if [[ -n "$(server_pid)" ]]; then
    echo "127.0.0.1:$(cat "$port_file")"
  else
    exit 1
  fi
}

# Temporary tables in a folder of this server's own: in the shared /tmp, a cleaner (or another server's
# start) removing them made an initialisation fail now and then ("Could not remove temporary table").
mkdir -p "$dir/tmp"
innodb_options=(--innodb-buffer-pool-size=256M --innodb-log-file-size=256M --skip-log-bin --tmpdir="$dir/tmp")
# One start or stop at a time per DIR; the server gets no copy of this descriptor (9>&- above).
exec 9>"$dir/lock"
flock 9
"$command"
