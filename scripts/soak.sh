#!/usr/bin/env bash
# A day of faults, in minutes thanks to the simulated clock: the unattended server on a whole trading day
# (04:20 to 16:00) of a synthetic market while the market-data server drops the connection, pauses, ends the
# conversation, is killed and started again and refuses connections, and the database server is killed twice
# and started again. At the end it prints the
# figures and checks them:
#   - every alert the windows took is a row of `alerts` or was counted as lost by the push; rows sent twice
#     (a statement whose reply was lost with the connection is sent again) are counted;
#   - the server's memory at the close is within 20 % of its memory an hour after the open;
#   - the heartbeat row is fresh, and the server shut itself down at the close (nothing stuck on the way).
# Environment: SYMBOLS (default 5000), RATE (seconds of the day per real second, default 60), FEED_PORT
# (default 17171, the control port is the next one), BUILD_DIR. Set-up as scripts/setup.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" >/dev/null
build_dir=${BUILD_DIR:-$root/build}
feed="$build_dir/apps/feed/tarnwell-feed"
program="$build_dir/apps/tarnwell/tarnwell"
symbols=${SYMBOLS:-5000}
rate=${RATE:-60}
port=${FEED_PORT:-17171}
control_port=$((port + 1))
day=2026-12-09
work=$build_dir/soak
db_dir=$build_dir/mariadb/soak
rm -rf "$work"
mkdir -p "$work/home/Logs"
export TARNWELL_HOME=$work/home
"$feed" --symbols "$symbols" --date "$day" --write-home "$work/home" 2>/dev/null
printf '[Vendor]\r\nAddress=127.0.0.1:%s\r\n' "$port" > "$work/home/Config.ini"

feed_pid=
server=
cleanup() {
  [[ -z "$feed_pid" ]] || kill "$feed_pid" 2>/dev/null || true
  [[ -z "$server" ]] || kill "$server" 2>/dev/null || true
  bash "$root/scripts/db/private-server.sh" stop "$db_dir" >/dev/null 2>&1 || true
}
trap cleanup EXIT

db=$(bash "$root/scripts/db/private-server.sh" start "$db_dir" 2>/dev/null)
sql() { mariadb -h "${db%:*}" -P "${db##*:}" -u alertserver -prwqpznt mydb -N -B -e "$1"; }
sql "TRUNCATE alerts; DELETE FROM monitor_alive; INSERT INTO monitor_alive (name) VALUES ('Soak')"

since=$(date +%s)
start_minute=$((4 * 60 + 15))
clock_args=(--clock "$day 04:15" --clock-rate "$rate" --clock-since "$since")
now() {  # the simulated time, HH:MM
  local m=$((start_minute + ($(date +%s) - since) * rate / 60))
  printf '%02d:%02d' $((m / 60)) $((m % 60))
}
say() { echo "soak: $(now)  $*"; }
start_feed() {
  "$feed" --listen "127.0.0.1:$port" --control "127.0.0.1:$control_port" --symbols "$symbols" "${clock_args[@]}" \
    >> "$work/feed-output.txt" 2>&1 &
  feed_pid=$!
  for _ in $(seq 1 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return; sleep 0.1; done
}
feed_command() {
  local reply=
  exec 3<>"/dev/tcp/127.0.0.1/$control_port"
  echo "$1" >&3
  read -r -t 5 reply <&3 || true
  exec 3>&-
  say "feed: $1 ($reply)"
}
kill_database() {
  kill -9 "$(cat "$db_dir/mariadbd.pid")"
  say "database server killed"
}
start_database() {
  bash "$root/scripts/db/private-server.sh" start "$db_dir" >/dev/null 2>&1
  say "database server started again"
}
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$server/status"; }
# Waits for a time of the simulated day (HH:MM); false when the server has ended first.
at() {
  local target=$((10#${1%:*} * 60 + 10#${1#*:}))
  while (((start_minute + ($(date +%s) - since) * rate / 60) < target)); do
    kill -0 "$server" 2>/dev/null || return 1
    sleep 0.2
  done
}

start_feed
(
  cd "$work/home"
  exec env -u DISPLAY -u WAYLAND_DISPLAY "$program" symbols.txt "$db" --report-as Soak "${clock_args[@]}" \
    > "$work/server-output.txt" 2>&1
) &
server=$!
say "server $server on $symbols symbols at $rate times real pace; database $db"

at 05:20 && rss_hour=$(rss_kb) && say "memory an hour after the open: $((rss_hour / 1024)) MB"
at 06:00 && feed_command drop
at 07:00 && feed_command pause
at 07:05 && feed_command resume
at 08:00 && feed_command terminate
at 08:30 && kill -9 "$feed_pid" && { wait "$feed_pid" 2>/dev/null || true; } && say "feed process killed"
at 08:33 && start_feed && say "feed started again"
at 09:00 && feed_command refuse
at 09:04 && feed_command accept
at 10:00 && kill_database
at 10:03 && start_database
at 12:00 && kill_database
at 12:02 && start_database
at 15:55 && rss_close=$(rss_kb) && say "memory at the close: $((rss_close / 1024)) MB"

# The close is at 16:00; the server has a minute of the day and its one minute of sending to end itself.
deadline=$(($(date +%s) + 120))
while kill -0 "$server" 2>/dev/null && (($(date +%s) < deadline)); do sleep 0.5; done
failures=0
check() {  # check WHAT CONDITION...
  local what=$1
  shift
  if "$@"; then echo "  ok    $what"; else echo "  FAIL  $what"; failures=$((failures + 1)); fi
}
if kill -0 "$server" 2>/dev/null; then
  ended=no
  kill "$server"
else
  wait "$server" && status=0 || status=$?
  ended=yes
fi

log=$(ls -t "$work"/home/Logs/*.txt | head -n 1)
summary=$(grep -a "All alert rows sent:\|Shut down after" "$log" | tail -n 1 || true)
added=$(sed -n 's/.* \([0-9]*\) added.*/\1/p' <<< "$summary")
sent=$(sed -n 's/.* \([0-9]*\) sent, .*/\1/p' <<< "$summary")
repeated=$(sed -n 's/.* \([0-9]*\) sent again.*/\1/p' <<< "$summary")
lost=$(sed -n 's/.* \([0-9]*\) lost.*/\1/p' <<< "$summary")
rows=$(sql "SELECT COUNT(*) FROM alerts")
distinct=$(sql "SELECT COUNT(*) FROM (SELECT 1 FROM alerts GROUP BY timestamp, alert_type, symbol, description, num) AS d")
twice=$((rows - distinct))
heartbeat=$(sql "SELECT COALESCE(last_update, 'never') FROM monitor_alive WHERE name = 'Soak'")
echo
echo "soak: $symbols symbols, $rate times real pace, $(( $(date +%s) - since )) s"
echo "  alerts the windows took:       ${added:-?}"
echo "  rows sent / lost by the push:  ${sent:-?} / ${lost:-?}"
echo "  rows in alerts:                $rows (of which sent twice: $twice)"
echo "  rows sent again after no answer: ${repeated:-0}"
echo "  memory 05:20 / 15:55:          $((${rss_hour:-0} / 1024)) MB / $((${rss_close:-0} / 1024)) MB"
echo "  heartbeat row:                 $heartbeat"
echo "  SQL errors reported:           $(grep -ac "SQL Error" "$log" || true)"
echo "  feed reconnections:            $(grep -ac "VCONV_INIT_ACK" "$log" || true)"
check "the server shut itself down at the close (exit ${status:-none})" test "$ended" = yes -a "${status:-1}" = 0
check "every alert is a row or counted lost" test -n "$added" -a "$((rows - twice))" -eq "$((${added:-0} - ${lost:-0}))"
check "no row is in the table twice unless the push sent it again" test "$twice" -le "${repeated:-0}"
check "memory at the close within 20 % of an hour after the open" \
  awk -v a="${rss_hour:-0}" -v b="${rss_close:-0}" 'BEGIN { exit !(a > 0 && b <= a * 1.2 && b >= a * 0.8) }'
check "the heartbeat row was refreshed" test "$heartbeat" != never -a -n "$heartbeat"
exit $((failures > 0))
