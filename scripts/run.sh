#!/usr/bin/env bash
# Set-up as scripts/setup.sh, then the main job: the market-data server with its synthetic market on
# loopback, and the desktop program connected to it. Without a display the program runs under a private
# X server (Xvfb); Ctrl-C or closing the main window ends both.
# Environment: TARNWELL_HOME (default: a folder under build/ with overnight files written by the server),
# FEED_ADDRESS (default 127.0.0.1:7071), FEED_ARGS (default "--time 09:25": the synthetic session starts five
# minutes before the open, whatever the hour), DATABASE (default "private": a private MariaDB server with
# its data in build/mariadb/main, which "Standard Windows" > "Push Alerts" writes to; "none": no server).
# Extra arguments go to the desktop program.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=${BUILD_DIR:-$root/build}
feed="$build_dir/apps/feed/tarnwell-feed"
program="$build_dir/apps/tarnwell/tarnwell"
address=${FEED_ADDRESS:-127.0.0.1:7071}
export TARNWELL_HOME=${TARNWELL_HOME:-$build_dir/home}
mkdir -p "$TARNWELL_HOME" "$TARNWELL_HOME/Logs"
if [[ ! -f "$TARNWELL_HOME/symbols.txt" ]]; then
  "$feed" --write-home "$TARNWELL_HOME" || echo "run: no overnight files in $TARNWELL_HOME"
fi
if [[ ! -f "$TARNWELL_HOME/Config.ini" ]]; then
  # Until alert windows exist, the debug log shows a few symbols' quotes, prints and alerts.
  watch=$(grep -E '^[A-Z]{1,4}$' "$TARNWELL_HOME/symbols.txt" 2>/dev/null | head -n 3 | paste -sd, -)
  printf '[Vendor]\r\nAddress=%s\r\n[Debug]\r\nWatch=%s\r\nWatchAlerts=All\r\n' "$address" "$watch" \
    > "$TARNWELL_HOME/Config.ini"
  echo "run: wrote $TARNWELL_HOME/Config.ini (watching $watch)"
fi

pids=()
db_dir=$build_dir/mariadb/main
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [[ ${DATABASE:-private} == none ]] || bash "$root/scripts/db/private-server.sh" stop "$db_dir" >/dev/null 2>&1 || true
}
trap cleanup EXIT INT TERM

if [[ ${DATABASE:-private} != none ]]; then
  db_address=$(bash "$root/scripts/db/private-server.sh" start "$db_dir")
  # The push dialog's server: this run's [RealTimeAlerts] section replaces the last run's.
  awk 'BEGIN { skip = 0 } /^\[/ { skip = (tolower($0) ~ /^\[realtimealerts\]/) } !skip' \
    "$TARNWELL_HOME/Config.ini" > "$TARNWELL_HOME/Config.ini.new"
  printf '[RealTimeAlerts]\r\ndb_Host=%s\r\ndb_Port=%s\r\n' "${db_address%:*}" "${db_address##*:}" \
    >> "$TARNWELL_HOME/Config.ini.new"
  mv "$TARNWELL_HOME/Config.ini.new" "$TARNWELL_HOME/Config.ini"
  echo "run: alerts database on $db_address; rows: mariadb -h ${db_address%:*} -P ${db_address##*:}" \
    "-u alertserver -prwqpznt mydb -e 'SELECT * FROM alerts ORDER BY id DESC LIMIT 20'"
fi

echo "run: market-data server on $address"
# shellcheck disable=SC2086
"$feed" --listen "$address" ${FEED_ARGS---time 09:25} &
pids+=($!)
export VCONV_SERVER=$address
for _ in $(seq 1 100); do  # ready before the desktop's first connection attempt
  (exec 3<>"/dev/tcp/${address%:*}/${address##*:}") 2>/dev/null && break
  sleep 0.1
done

if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
  # Headless: a private X server, so the windows really exist (a screenshot shows them).
  rm -f "$build_dir/.xvfb-display"
  Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp 4>"$build_dir/.xvfb-display" &
  pids+=($!)
  for _ in $(seq 1 100); do [[ -s "$build_dir/.xvfb-display" ]] && break; sleep 0.1; done
  export DISPLAY=":$(tr -d '\n' < "$build_dir/.xvfb-display")"
  echo "run: no display; the desktop runs under Xvfb on $DISPLAY"
fi

echo "run: tarnwell (log files in $(pwd)/Logs)"
mkdir -p Logs
"$program" "$@" &
pids+=($!)
wait "${pids[-1]}"
