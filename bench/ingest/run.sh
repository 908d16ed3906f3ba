#!/usr/bin/env bash
# Ingest benchmark: runs the program under Xvfb against a private MariaDB and
# drives it with the shared UDP load generator, at full speed and paced, with
# native records and RFC 3164 text. Prints sent / stored / lost and stored
# rows per second (first send to last row) for each scenario.
#
#   bench/ingest/run.sh [COUNT]        (default 100000)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
count=${1:-100000}
loadgen=${LOADGEN:-$top/../shared/bench/udp_loadgen.py}
[ -f "$loadgen" ] || { echo "load generator not found: $loadgen" >&2; exit 1; }

"$top/scripts/deps.sh"
"$top/scripts/build.sh" >/dev/null

. "$top/scripts/mariadb.sh"
. "$top/scripts/xvfb.sh"
scratch=$(mktemp -d /tmp/logserver-ingest.XXXXXX)
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
udp_port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mariadb_start "$scratch/db" "$db_port" "$scratch/mysqld.sock"
xvfb_start
xvfb_answer_notices

# A copy of the run directory with a "config" for this database and port.
rsync -a --exclude mysql-data "$top/build/run/" "$scratch/run/" 2>/dev/null || cp -a "$top/build/run/." "$scratch/run/"
rm -rf "$scratch/run/mysql-data" "$scratch/run/config"
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
     && ss -lun | grep -q ":$udp_port "; then
    ready=1; break
  fi
  kill -0 "$prog_pid" 2>/dev/null || { cat "$scratch/program.log" >&2; exit 1; }
  sleep 0.2
done
[ "$ready" = 1 ] || { echo "the program did not come up" >&2; cat "$scratch/program.log" >&2; exit 1; }
echo "program pid $prog_pid, database 127.0.0.1:$db_port, UDP port $udp_port" >&2

run() {
  local label=$1; shift
  python3 "$loadgen" --port "$udp_port" --db-port "$db_port" --preset logtab \
    --pids "logserver=$prog_pid" --label "$label" --json-out "$scratch/results.json" "$@" >/dev/null
}
run "text full speed" --count "$count" --rate 0 --format text
run "binary full speed" --count "$count" --rate 0 --format binary
run "text paced 20000/s" --count "$count" --rate 20000 --format text
run "binary paced 20000/s" --count "$count" --rate 20000 --format binary

python3 - "$scratch/results.json" <<'PY'
import json, sys
rows = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
print("%-24s %8s %8s %8s %10s %12s %8s" % ("scenario", "sent", "stored", "lost", "send/s", "stored/s", "cpu s"))
for r in rows:
    print("%-24s %8s %8s %8s %10s %12s %8s" % (r.get("label"), r.get("sent"), r.get("stored"),
          r.get("lost"), r.get("send_rate"), r.get("stored_rate"), r.get("cpu_s_logserver", "")))
print()
for r in rows:
    print(json.dumps(r))
PY
