#!/usr/bin/env bash
# Sourced: a MariaDB server of the project's own, in a folder of the caller's.
#   mariadb_start DATADIR PORT SOCKET   initialises DATADIR when empty, starts the
#                                       server on 127.0.0.1:PORT and SOCKET, lets
#                                       root in with an empty password from this
#                                       machine, and waits until it answers
#   mariadb_stop                        stops the server started here, and the
#                                       one a test restarted in the same DATADIR
#                                       (found by its pid file)
mariadb_pid=""
mariadb_socket=""
mariadb_datadir=""

mariadb_start() {
  local datadir=$1 port=$2 socket=$3
  mkdir -p "$datadir" "$(dirname "$socket")"
  if [ ! -d "$datadir/mysql" ]; then
    mariadb-install-db --no-defaults --datadir="$datadir" --user=root \
      --auth-root-authentication-method=normal --skip-test-db >"$datadir.install.log" 2>&1 || {
      cat "$datadir.install.log" >&2; return 1; }
  fi
  mariadbd --no-defaults --datadir="$datadir" --user=root \
    --bind-address=127.0.0.1 --port="$port" --socket="$socket" \
    --pid-file="$datadir/server.pid" --log-error="$datadir/error.log" \
    --skip-name-resolve --innodb-buffer-pool-size=256M \
    --innodb-flush-log-at-trx-commit=2 --max-allowed-packet=64M &
  mariadb_pid=$!
  mariadb_socket=$socket
  mariadb_datadir=$datadir
  local i
  for i in $(seq 300); do
    if mariadb --no-defaults -uroot --socket="$socket" -e 'select 1' >/dev/null 2>&1; then
      mariadb --no-defaults -uroot --socket="$socket" -e "
        ALTER USER root@localhost IDENTIFIED VIA mysql_native_password USING PASSWORD('') OR unix_socket;
        CREATE USER IF NOT EXISTS root@'127.0.0.1' IDENTIFIED BY '';
        GRANT ALL PRIVILEGES ON *.* TO root@'127.0.0.1' WITH GRANT OPTION;
        FLUSH PRIVILEGES;" || return 1
      return 0
    fi
    if ! kill -0 "$mariadb_pid" 2>/dev/null; then
      echo "MariaDB did not start; see $datadir/error.log" >&2
      tail -n 20 "$datadir/error.log" >&2 || true
      return 1
    fi
    sleep 0.1
  done
  echo "MariaDB did not answer in time" >&2
  return 1
}

mariadb_stop() {
  if [ -n "$mariadb_pid" ] && kill -0 "$mariadb_pid" 2>/dev/null; then
    kill "$mariadb_pid" 2>/dev/null
    wait "$mariadb_pid" 2>/dev/null || true
  fi
  mariadb_pid=""
  # A server restarted by a test is not our child: stop it by its pid file.
  if [ -n "$mariadb_datadir" ] && [ -s "$mariadb_datadir/server.pid" ]; then
    mariadb_kill_pid "$(cat "$mariadb_datadir/server.pid")"
  fi
  mariadb_datadir=""
}

# Ends a server process that may not be a child of this shell and waits until
# it is gone (a zombie counts as gone).
mariadb_kill_pid() {
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for i in $(seq 300); do
    [ -e "/proc/$pid" ] || return 0
    [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ] && return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

# A free port for a server, from below the kernel's ephemeral range: a test
# that kills the server and starts it again must find its port still free,
# and any outgoing connection may take an ephemeral port while it is down.
free_port() {
  python3 - <<'PY'
import random, socket
for port in random.sample(range(10000, 20000), 10000):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            continue
    print(port)
    break
PY
}
