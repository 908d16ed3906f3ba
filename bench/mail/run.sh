#!/usr/bin/env bash
# Mail benchmark: runs the program under Xvfb against a private MariaDB and
# sends it COUNT mails of about 20 KB (a 10 KB attachment each) from 4
# concurrent smtplib clients. Prints mails stored per second, the program's
# peak memory, and whether every mail file is complete; then checks that the
# mails added no row to LogTab and times the program's quit.
#
#   bench/mail/run.sh [COUNT]        (default 2000)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
count=${1:-2000}
build=${LOGSERVER_BUILD:-$top/build}

"$top/scripts/deps.sh"
"$top/scripts/build.sh" >/dev/null

. "$top/scripts/mariadb.sh"
. "$top/scripts/xvfb.sh"
scratch=$(mktemp -d /tmp/logserver-mail.XXXXXX)
prog_pid=""
cleanup() {
  set +e  # every step runs, whatever the one before returned
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null && wait "$prog_pid" 2>/dev/null
  mariadb_stop; xvfb_stop; rm -rf "$scratch"
}
trap cleanup EXIT
# A signal ends the script through its exit, so the servers are stopped; a
# closed output pipe does not cut the clean-up short.
trap 'exit 1' INT TERM HUP
trap '' PIPE

db_port=$(free_port)
smtp_port=$(free_port)
udp_port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mariadb_start "$scratch/db" "$db_port" "$scratch/mysqld.sock"
xvfb_start
xvfb_answer_notices

# A copy of the run directory with a "config" for this database and an
# "smtp_port" of its own.
cp -a "$build/run/." "$scratch/run/"
rm -rf "$scratch/run/mysql-data" "$scratch/run/config" "$scratch/run/mail_save"
mkdir -p "$scratch/run/mail_save"
echo "$smtp_port" >"$scratch/run/smtp_port"
python3 - "$scratch/run/config" "$db_port" "$udp_port" <<'PY'
import sys
def field(s):
    b = s.encode()[:98]
    return b + b"\0" * (100 - len(b))
path, db_port, udp_port = sys.argv[1:]
open(path, "wb").write(field("root") + field("") + field("127.0.0.1") + field(db_port) + field(udp_port))
PY

cd "$scratch/run"
./logserver >"$scratch/program.log" 2>&1 </dev/null &
prog_pid=$!
ready=0
for _ in $(seq 300); do
  if mariadb --no-defaults -uroot -h127.0.0.1 -P"$db_port" -N -e 'select 1 from LogDB.LogTab limit 1' >/dev/null 2>&1 \
     && ss -ltn | grep -q ":$smtp_port "; then
    ready=1; break
  fi
  kill -0 "$prog_pid" 2>/dev/null || { cat "$scratch/program.log" >&2; exit 1; }
  sleep 0.2
done
[ "$ready" = 1 ] || { echo "the program did not come up" >&2; cat "$scratch/program.log" >&2; exit 1; }
echo "program pid $prog_pid, database 127.0.0.1:$db_port, SMTP port $smtp_port" >&2

status=0
python3 "$top/bench/mail/mail_load.py" "$smtp_port" "$scratch/run/mail_save/127.0.0.1" "$prog_pid" \
  --count "$count" --clients 4 || status=1

rows=$(mariadb --no-defaults -uroot -h127.0.0.1 -P"$db_port" -N -e 'select count(*) from LogDB.LogTab')
echo "rows added to LogTab  $rows (mails go to the tree only)"
[ "$rows" = 0 ] || status=1

start=$(date +%s.%N)
kill -TERM "$prog_pid"
wait "$prog_pid" 2>/dev/null || true
prog_pid=""
awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "program quit in       %.2f s\n", b - a }'
exit $status
