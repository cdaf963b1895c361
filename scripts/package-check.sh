#!/usr/bin/env bash
# Installs the Debian package on a clean Debian 12 system and runs its alert server under systemd against a
# MariaDB server, as on a trading machine: the system is made with debootstrap and booted with
# systemd-nspawn (its own network namespace, so nothing of it listens on this machine's ports).
#
# Usage (as root): bash scripts/package-check.sh
#   Environment: BUILD_DIR (default build/, already built), SYMBOLS (default 200), RATE (default 20 seconds of
#   the simulated day per real second), MINUTES (default 5: how long the server may take to write rows).
#
# The package comes from `cpack -G DEB` in BUILD_DIR. A pristine Debian 12 system is kept in
# BUILD_DIR/package-check/base (made once, a few minutes); each run copies it to BUILD_DIR/package-check/root,
# installs mariadb-server and the package there with apt, and sets the server up the way the README's
# "Operation on a trading machine" says. On boot, units of this check create the database, start a
# market-data server on a simulated day and let tarnwell-alert-server.service start the alert server on the
# same day; a last unit waits for alert rows, stops the service (the server sends what waits and exits) and
# writes a report before the system powers off. The report is printed here; the exit status says whether
# every check passed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
symbols=${SYMBOLS:-200}
rate=${RATE:-20}
minutes=${MINUTES:-5}
work=$build_dir/package-check
base=$work/base
system=$work/root

die() { echo "package-check: $*" >&2; exit 1; }
log() { echo "package-check: $*"; }
((EUID == 0)) || die "run as root: it makes and boots a Debian system"
for tool in debootstrap systemd-nspawn cpack; do
  command -v "$tool" >/dev/null || die "$tool is missing (apt-get install debootstrap systemd-container)"
done
[[ -x $build_dir/apps/tarnwell/tarnwell ]] || die "$build_dir is not built (bash scripts/setup.sh)"

log "building the package"
(cd "$build_dir" && cpack -G DEB >"$work.cpack.log" 2>&1) || die "cpack failed (log in $work.cpack.log)"
package=$(ls "$build_dir"/tarnwell_*_amd64.deb | head -n 1)

mkdir -p "$work"
if [[ ! -f $base/etc/debian_version ]]; then
  log "making a clean Debian 12 system in $base (once)"
  rm -rf "$base"
  debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus bookworm "$base" \
    http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1 || die "debootstrap failed (log in $work/debootstrap.log)"
fi
rm -rf "$system"
cp -a "$base" "$system"
cp /etc/resolv.conf "$system/etc/resolv.conf"
cp "$package" "$system/tmp/"
in_system() { chroot "$system" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

log "installing mariadb-server and $(basename "$package") with apt"
in_system bash -c "apt-get update -q && apt-get install -y -q mariadb-server /tmp/$(basename "$package")" \
  >"$work/apt.log" 2>&1 || die "apt failed (log in $work/apt.log)"
grep -q "^Setting up tarnwell" "$work/apt.log" || die "apt did not set up the package (log in $work/apt.log)"

# The set-up the README asks of an operator, from the examples the package installed.
day=$(date +%F)
case $(date +%u) in 6) day=$(date -d yesterday +%F) ;; 7) day=$(date -d '2 days ago' +%F) ;; esac
password=$(head -c 12 /dev/urandom | base64 | tr -dc 'A-Za-z0-9')
examples=/usr/local/share/tarnwell/service
in_system bash -euo pipefail -c "
useradd --system --home-dir /var/lib/tarnwell --create-home tarnwell
install -d /etc/tarnwell
install -m 600 $examples/alert-server.conf.example /etc/tarnwell/alert-server.conf
sed -i 's|^DATABASE=.*|DATABASE=127.0.0.1:3306|' /etc/tarnwell/alert-server.conf
install -o tarnwell -m 600 $examples/Config.ini.example /var/lib/tarnwell/Config.ini
sed -i -e 's|^Address=.*|Address=127.0.0.1:7071|' -e 's|^db_Password=.*|db_Password=$password|' /var/lib/tarnwell/Config.ini
install -o tarnwell $examples/Holidays.csv.example /var/lib/tarnwell/Holidays.csv
install -d -o tarnwell /var/lib/tarnwell/Logs
# The day's symbol file and overnight files, as the market-data server of this check makes them.
/usr/local/bin/tarnwell-feed --symbols $symbols --date $day --write-home /var/lib/tarnwell >/dev/null
chown -R tarnwell: /var/lib/tarnwell
systemctl enable tarnwell-alert-server.service
"

# The check's own units: the database, a market-data server, the simulated day and the report.
units=$system/etc/systemd/system
cat >"$system/usr/local/sbin/tarnwell-check-setup" <<EOF
#!/bin/bash
# Creates the alerts database and the server's heartbeat row, and fixes the simulated day's start.
set -euo pipefail
mariadb -u root <<SQL
CREATE DATABASE IF NOT EXISTS mydb CHARACTER SET utf8mb4;
CREATE USER IF NOT EXISTS 'alertserver'@'localhost' IDENTIFIED BY '$password';
CREATE USER IF NOT EXISTS 'alertserver'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL ON mydb.* TO 'alertserver'@'localhost', 'alertserver'@'127.0.0.1';
SQL
mariadb -u root mydb </usr/local/share/tarnwell/schema.sql
name=\$(hostname); ((\${#name} <= 15)) || name=Unknown
mariadb -u root mydb -e "INSERT IGNORE INTO monitor_alive (name) VALUES ('Alert Server \$name')"
printf 'CLOCK=%s\nRATE=%s\nSINCE=%s\n' "$day 04:19" "$rate" "\$(date +%s)" >/run/tarnwell-check.env
EOF
cat >"$system/usr/local/sbin/tarnwell-check-report" <<EOF
#!/bin/bash
# Waits for alert rows, stops the service the way an operator does and writes what it saw.
exec >/root/package-check.txt 2>&1
rows() { mariadb -u root mydb -N -B -e "SELECT COUNT(*) FROM alerts"; }
for _ in \$(seq 1 $((minutes * 12))); do
  (( \$(rows) > 0 )) && break
  sleep 5
done
sleep 10
echo "state: \$(systemctl show -p ActiveState --value tarnwell-alert-server) \$(systemctl show -p SubState --value tarnwell-alert-server)"
echo "user: \$(ps -o user= -p \$(systemctl show -p MainPID --value tarnwell-alert-server))"
echo "rows: \$(rows)"
echo "types: \$(mariadb -u root mydb -N -B -e 'SELECT COUNT(DISTINCT alert_type) FROM alerts')"
echo "heartbeat: \$(mariadb -u root mydb -N -B -e 'SELECT name, last_update IS NOT NULL FROM monitor_alive')"
systemctl stop tarnwell-alert-server
echo "stopped: \$(systemctl show -p ActiveState --value tarnwell-alert-server) \$(systemctl show -p Result --value tarnwell-alert-server)"
echo "final rows: \$(rows)"
echo "log: \$(grep -ah 'All alert rows sent' /var/lib/tarnwell/Logs/*.txt | tail -n 1)"
echo "--- journal"
journalctl -u tarnwell-alert-server --no-pager | tail -n 20
systemctl poweroff
EOF
chmod 755 "$system/usr/local/sbin/tarnwell-check-setup" "$system/usr/local/sbin/tarnwell-check-report"
cat >"$units/tarnwell-check-setup.service" <<'EOF'
[Unit]
Description=Package check: alerts database and simulated day
After=mariadb.service
Requires=mariadb.service
Before=tarnwell-check-feed.service tarnwell-alert-server.service
[Service]
Type=oneshot
RemainAfterExit=yes
ExecStart=/usr/local/sbin/tarnwell-check-setup
[Install]
WantedBy=multi-user.target
EOF
cat >"$units/tarnwell-check-feed.service" <<EOF
[Unit]
Description=Package check: market-data server on the simulated day
After=tarnwell-check-setup.service
Requires=tarnwell-check-setup.service
Before=tarnwell-alert-server.service
[Service]
EnvironmentFile=/run/tarnwell-check.env
ExecStart=/usr/local/bin/tarnwell-feed --listen 127.0.0.1:7071 --symbols $symbols --clock \${CLOCK} --clock-rate \${RATE} --clock-since \${SINCE}
[Install]
WantedBy=multi-user.target
EOF
mkdir -p "$units/tarnwell-alert-server.service.d"
cat >"$units/tarnwell-alert-server.service.d/simulated-day.conf" <<'EOF'
# The check's simulated day, shared with its market-data server.
[Unit]
After=tarnwell-check-feed.service
[Service]
EnvironmentFile=/run/tarnwell-check.env
ExecStart=
ExecStart=/usr/local/bin/tarnwell --clock ${CLOCK} --clock-rate ${RATE} --clock-since ${SINCE} ${SYMBOL_FILE} ${DATABASE}
EOF
cat >"$units/tarnwell-check-report.service" <<'EOF'
[Unit]
Description=Package check: report
After=tarnwell-alert-server.service
[Service]
Type=oneshot
ExecStart=/usr/local/sbin/tarnwell-check-report
[Install]
WantedBy=multi-user.target
EOF
in_system systemctl enable tarnwell-check-setup.service tarnwell-check-feed.service \
  tarnwell-check-report.service >/dev/null 2>&1

log "booting the system (systemd-nspawn); the report follows"
timeout $((minutes * 60 + 180)) systemd-nspawn -q -D "$system" --private-network --register=no --keep-unit -b \
  >"$work/boot.log" 2>&1 || true
report=$system/root/package-check.txt
[[ -f $report ]] || die "the system wrote no report (boot log in $work/boot.log)"
cat "$report"
failed=0
check() { if grep -Eq "$2" "$report"; then log "ok: $1"; else log "FAILED: $1"; failed=1; fi; }
check "the service ran the alert server" '^state: active running'
check "as the user tarnwell" '^user: tarnwell'
check "alert rows reached the database" '^rows: [1-9]'
check "the server's heartbeat row was kept" '^heartbeat: Alert Server .*	1'
check "stopping the service ended the server cleanly" '^stopped: inactive success'
check "the server sent every row before it exited" '^log: .*All alert rows sent: .* 0 lost'
exit "$failed"
