#!/usr/bin/env bash
# Set-up as scripts/setup.sh, then the main job: the unattended alert server on a simulated trading day. A
# private MariaDB server with the alerts schema, the market-data server's synthetic market and the alert
# server (no display needed) all run on this machine's loopback and share one clock. The server opens its
# three automatic alert windows at the opening minute (04:20), writes every alert to the database and shuts
# itself down at the close (16:00); this script then prints the day's rows per alert type and ends.
#
# Environment:
#   RATE      seconds of the simulated day per real second (default 1; RATE=60 runs the day in about 12 min)
#   CLOCK     start of the simulated day, "YYYY-MM-DD HH:MM" (default: 04:17 of today, or of the last
#             weekday at a weekend, three minutes before the open)
#   SYMBOLS   size of the synthetic market (default 500); TARNWELL_HOME (default build/home)
#   FEED_ADDRESS (default 127.0.0.1:7071); DATABASE=host:port uses a server you run (with the schema of
#   scripts/db/schema.sql) instead of the private one
# Ctrl-C stops everything. Extra arguments go to the alert server.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=${BUILD_DIR:-$root/build}
feed="$build_dir/apps/feed/tarnwell-feed"
program="$build_dir/apps/tarnwell/tarnwell"
address=${FEED_ADDRESS:-127.0.0.1:7071}
rate=${RATE:-1}
symbols=${SYMBOLS:-500}
if [[ -z "${CLOCK:-}" ]]; then
  day=$(date +%F)
  case $(date +%u) in 6) day=$(date -d yesterday +%F) ;; 7) day=$(date -d '2 days ago' +%F) ;; esac
  CLOCK="$day 04:17"
fi
day=${CLOCK%% *}
since=$(date +%s)
clock_args=(--clock "$CLOCK" --clock-rate "$rate" --clock-since "$since")

export TARNWELL_HOME=${TARNWELL_HOME:-$build_dir/home}
mkdir -p "$TARNWELL_HOME/Logs"
# The overnight files and the symbol list of the simulated day's market.
if [[ ! -f "$TARNWELL_HOME/symbols.txt" || "$(cat "$TARNWELL_HOME/.day" 2>/dev/null)" != "$day $symbols" ]]; then
  "$feed" --symbols "$symbols" --date "$day" --write-home "$TARNWELL_HOME"
  echo "$day $symbols" > "$TARNWELL_HOME/.day"
fi
printf '[Vendor]\r\nAddress=%s\r\n' "$address" > "$TARNWELL_HOME/Config.ini"

pids=()
db_dir=$build_dir/mariadb/main
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [[ -n "${DATABASE:-}" ]] || bash "$root/scripts/db/private-server.sh" stop "$db_dir" >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'echo; echo "run: stopped"; exit 130' INT TERM

db_address=${DATABASE:-$(bash "$root/scripts/db/private-server.sh" start "$db_dir")}
db_host=${db_address%:*}
db_port=${db_address##*:}
sql() { mariadb -h "$db_host" -P "$db_port" -u alertserver -prwqpznt mydb -N -B -e "$1"; }
# The server's heartbeat row ("Alert Server" and the computer's name, "Unknown" past 15 characters).
name=$(hostname)
((${#name} <= 15)) || name=Unknown
sql "INSERT IGNORE INTO monitor_alive (name) VALUES ('Alert Server $name')"
first_id=$(sql "SELECT COALESCE(MAX(id), 0) FROM alerts")
newest="mariadb -h $db_host -P $db_port -u alertserver -prwqpznt mydb -e 'SELECT timestamp, alert_type, symbol, description, price FROM alerts ORDER BY id DESC LIMIT 20'"
echo "run: alerts database on $db_address; the newest rows:"
echo "     $newest"

echo "run: market-data server on $address, simulated day from $CLOCK at $rate times real pace"
"$feed" --listen "$address" --symbols "$symbols" "${clock_args[@]}" > "$TARNWELL_HOME/feed-output.txt" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do  # ready before the server's first connection attempt
  (exec 3<>"/dev/tcp/${address%:*}/${address##*:}") 2>/dev/null && break
  sleep 0.1
done

echo "run: alert server (log in $TARNWELL_HOME/Logs), symbols $TARNWELL_HOME/symbols.txt"
(
  cd "$TARNWELL_HOME"
  # No display: the windows exist off screen.
  exec env -u DISPLAY -u WAYLAND_DISPLAY "$program" symbols.txt "$db_address" "${clock_args[@]}" "$@" \
    > "$TARNWELL_HOME/server-output.txt" 2>&1
) &
server=$!
pids+=($server)

while kill -0 "$server" 2>/dev/null; do
  sleep 10
  kill -0 "$server" 2>/dev/null || break
  now=$(date -d "@$(( $(date -d "$CLOCK" +%s) + ($(date +%s) - since) * rate ))" '+%H:%M')
  log=$(ls -t "$TARNWELL_HOME"/Logs/*.txt 2>/dev/null | head -n 1 || true)
  status=$(grep -ah "Starting...\|Time to Stop" "$log" 2>/dev/null | tail -n 1 | sed 's/^[^ ]* [^ ]*:  //' || true)
  echo "run: $now  $(sql "SELECT COUNT(*) FROM alerts WHERE id > $first_id") alert rows in the database${status:+  ($status)}"
done
wait "$server" && code=0 || code=$?
echo "run: the alert server ended (exit $code); rows of this run per alert type:"
sql "SELECT alert_type, COUNT(*) FROM alerts WHERE id > $first_id GROUP BY alert_type ORDER BY 2 DESC, 1" |
  awk '{ printf "  %-8s %8d\n", $1, $2; total += $2 } END { printf "  %-8s %8d\n", "total", total }'
exit "$code"
