#!/usr/bin/env bash
# Creates the alerts database, its user and the tables on an existing server.
# Usage: bash scripts/db/create-database.sh [mariadb client options...]
#   e.g. bash scripts/db/create-database.sh -h dbhost -P 3306 -u root -p
# The options go to the mariadb client as given (so ~/.my.cnf still applies unless --no-defaults is
# passed). Environment: DB_NAME (default mydb), DB_USER (default alertserver), DB_PASSWORD (default
# rwqpznt). Safe to run again: everything is created only when missing, and the user's password and
# grant are set to the values above.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
db_name=${DB_NAME:-mydb}
db_user=${DB_USER:-alertserver}
db_password=${DB_PASSWORD:-rwqpznt}

# Names and the password go into the SQL text; rather than escape them (which depends on the
# server's sql_mode), refuse the characters that would need it.
check() {
  local what=$1 value=$2 shown=$3
  if [[ -z "$value" || "$value" == *[\`\'\"\\]* ]]; then
    echo "create-database: $what must be non-empty and contain no backtick, quote or backslash$shown" >&2
    exit 2
  fi
}
check DB_NAME "$db_name" ": $db_name"
check DB_USER "$db_user" ": $db_user"
check DB_PASSWORD "$db_password" ""

client=$(command -v mariadb || command -v mysql || true)
if [[ -z "$client" ]]; then
  echo "create-database: no mariadb (or mysql) client found; install mariadb-client" >&2
  exit 1
fi

# One client run, so -p asks for the password once.
{
  echo "CREATE DATABASE IF NOT EXISTS \`$db_name\` DEFAULT CHARACTER SET utf8mb4;"
  for host in '%' localhost 127.0.0.1; do
    echo "CREATE USER IF NOT EXISTS '$db_user'@'$host' IDENTIFIED BY '$db_password';"
    echo "ALTER USER '$db_user'@'$host' IDENTIFIED BY '$db_password';"
    echo "GRANT ALL ON \`$db_name\`.* TO '$db_user'@'$host';"
  done
  echo "USE \`$db_name\`;"
  cat "$here/schema.sql"
} | "$client" "$@"
echo "create-database: database $db_name and user $db_user ready" >&2
