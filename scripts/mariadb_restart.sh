#!/usr/bin/env bash
# Stops the test server of DATADIR and starts it again with the same settings,
# detached from the caller; returns when it answers again.
#   mariadb_restart.sh DATADIR PORT SOCKET
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/mariadb.sh"
datadir=$1 port=$2 socket=$3
mariadb_kill_pid "$(cat "$datadir/server.pid" 2>/dev/null || true)"
# The new server outlives this script; keep it off the caller's output.
setsid -w bash -c '. "$1/mariadb.sh"; mariadb_start "$2" "$3" "$4"' _ "$here" "$datadir" "$port" "$socket" \
  </dev/null >>"$datadir.restart.log" 2>&1
