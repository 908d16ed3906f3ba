#!/usr/bin/env bash
# Sourced by the run command. When no database server answers at the settings
# saved in "config" (a missing or empty "config" means the local server on the
# default port), it starts a MariaDB of the run directory's own: data in
# RUN_DIR/mysql-data, listening on the client library's default socket and on
# 127.0.0.1:3306, root let in from this machine with an empty password.
#   private_db_start RUN_DIR   starts it when needed
#   private_db_stop            stops it, if it was started here
. "$(dirname "${BASH_SOURCE[0]}")/mariadb.sh"

private_db_socket=${MYSQL_UNIX_PORT:-/run/mysqld/mysqld.sock}
private_db_port=3306

# Host and port saved in "config", read as the program reads them: "-" for an
# empty host, 0 for an empty or non-numeric port.
private_db_saved() {
  python3 - "$1" <<'PY'
import re, sys
try:
    data = open(sys.argv[1], 'rb').read(500)
except OSError:
    data = b''
data = data.ljust(500, b'\0')
def field(i):
    return data[i * 100:(i + 1) * 100].split(b'\0', 1)[0].decode('utf-8', 'replace')
m = re.match(r'\s*([+-]?\d+)', field(3))
print(field(2).strip() or '-', int(m.group(1)) if m else 0)
PY
}

# True when a server answers at HOST PORT; a refused login is an answer too.
private_db_answers() {
  local host=$1 port=$2 args=(--no-defaults --connect-timeout=3 -u ping)
  if [ "$host" = - ] || [ "$host" = localhost ]; then
    args+=(--socket="$private_db_socket")
  else
    args+=(-h "$host" --protocol=tcp)
    [ "$port" != 0 ] && args+=(-P "$port")
  fi
  mariadb-admin "${args[@]}" ping >/dev/null 2>&1
}

private_db_start() {
  local run=$1 host port
  read -r host port < <(private_db_saved "$run/config")
  case $host in
    -|localhost|127.*) ;;
    *) return 0 ;;  # a server elsewhere is the operator's business
  esac
  private_db_answers "$host" "$port" && return 0
  # Something already holds the private server's addresses.
  if private_db_answers - 0 || private_db_answers 127.0.0.1 "$private_db_port"; then
    return 0
  fi
  echo "no database server at the saved settings: starting a private MariaDB (data in $run/mysql-data)"
  mariadb_start "$run/mysql-data" "$private_db_port" "$private_db_socket" \
    || echo "the private MariaDB did not start; see $run/mysql-data/error.log" >&2
}

private_db_stop() {
  mariadb_stop
}
