#!/usr/bin/env bash
# Ingest benchmark: runs the program under Xvfb against a private MariaDB and
# drives it with the shared UDP load generator (native 624-byte records):
#
#   paced 2,000/s and 20,000/s   stored/s, lost, the program's CPU per record
#                                (utime+stime from /proc, over the sending and
#                                the 3 s the generator waits for the count to
#                                settle); at 20,000/s the program runs with its
#                                10 ms heartbeat timer (LOGSERVER_HEARTBEAT=1)
#                                and its lateness is printed at quit
#   full speed, COUNT and 1,000,000 records   stored/s and lost
#
# and the program's resident memory when idle after start-up. Prints a table,
# then the load generator's JSON lines, then "key=value" lines for bench/run.
#
#   bench/ingest/run.sh [COUNT]        (default 100000; BIG=N for the large run)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
count=${1:-100000}
big=${BIG:-1000000}
build=${LOGSERVER_BUILD:-$top/build}
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
mkdir -p "$scratch/run"
cp -a "$build/run/." "$scratch/run/"
rm -rf "$scratch/run/mysql-data" "$scratch/run/config" "$scratch/run/insert.spool" "$scratch/run/udp.queue"
python3 - "$scratch/run/config" "$db_port" "$udp_port" <<'PY'
import sys
def field(s):
    b = s.encode()[:98]
    return b + b"\0" * (100 - len(b))
path, db_port, udp_port = sys.argv[1:]
open(path, "wb").write(field("root") + field("") + field("127.0.0.1") + field(db_port) + field(udp_port))
PY

cd "$scratch/run"
results="$scratch/results.json"
: >"$results"

# start_program LOG [ENV=VALUE...]: starts the program and waits until it
# has its table and listens.
start_program() {
  local log=$1; shift
  env "$@" ./logserver >"$log" 2>&1 </dev/null &
  prog_pid=$!
  local _
  for _ in $(seq 300); do
    if mariadb --no-defaults -uroot -h127.0.0.1 -P"$db_port" -N -e 'select 1 from LogDB.LogTab limit 1' >/dev/null 2>&1 \
       && [ -n "$(ss -Hlun "sport = :$udp_port")" ]; then
      return 0
    fi
    kill -0 "$prog_pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.2
  done
  echo "the program did not come up" >&2; cat "$log" >&2; exit 1
}

# stop_program: SIGTERM, and waits; quit_secs is how long the quit took.
stop_program() {
  local t0 t1
  t0=$(date +%s.%N)
  kill -TERM "$prog_pid"
  wait "$prog_pid" || true
  t1=$(date +%s.%N)
  prog_pid=""
  quit_secs=$(python3 -c "print('%.2f' % ($t1 - $t0))")
}

run() {
  local label=$1; shift
  python3 "$loadgen" --port "$udp_port" --db-port "$db_port" --preset logtab --format binary \
    --pids "logserver=$prog_pid" --label "$label" --json-out "$results" "$@" >/dev/null
}

echo "program log and results in $scratch (removed at the end)" >&2
start_program "$scratch/program-a.log"
sleep 2
idle_rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$prog_pid/status")
run "paced 2000/s" --count 20000 --rate 2000
run "full speed $count" --count "$count" --rate 0
run "full speed $big" --count "$big" --rate 0 --max-wait 1800
stop_program; quit_a=$quit_secs

start_program "$scratch/program-b.log" LOGSERVER_HEARTBEAT=1
run "paced 20000/s" --count 200000 --rate 20000
stop_program; quit_b=$quit_secs
heartbeat=$(grep '^heartbeat:' "$scratch/program-b.log" | tail -n 1 || true)

python3 - "$results" "$idle_rss_kb" "$quit_a" "$quit_b" "$heartbeat" <<'PY'
import json, re, sys
path, idle_kb, quit_a, quit_b, heartbeat = sys.argv[1:]
rows = [json.loads(l) for l in open(path) if l.strip()]
fmt = "%-22s %9s %9s %6s %5s %10s %12s %8s %12s"
print(fmt % ("scenario", "sent", "stored", "lost", "dup", "send/s", "stored/s", "cpu s", "cpu/record"))
out = []
for r in rows:
    cpu = r.get("cpu_s_logserver")
    per = ("%.1f us" % (cpu * 1e6 / r["sent"])) if cpu is not None and r.get("sent") else ""
    print(fmt % (r.get("label"), r.get("sent"), r.get("stored"), r.get("lost"), r.get("duplicate_rows"),
                 r.get("send_rate"), r.get("stored_rate"), cpu if cpu is not None else "", per))
    key = re.sub(r"[^a-z0-9]+", "_", r["label"].lower()).strip("_")
    out.append("%s.stored_per_s=%s" % (key, r.get("stored_rate")))
    out.append("%s.lost=%s" % (key, r.get("lost")))
    out.append("%s.dup=%s" % (key, r.get("duplicate_rows")))
    if per:
        out.append("%s.cpu_us_per_record=%s" % (key, per.split()[0]))
print()
m = re.search(r"median=([\d.]+) p99=([\d.]+) max=([\d.]+)", heartbeat)
if m:
    print("heartbeat at 20000/s (10 ms timer, lateness in ms): median %s, p99 %s, max %s" % m.groups())
    out += ["heartbeat.median_ms=%s" % m.group(1), "heartbeat.p99_ms=%s" % m.group(2),
            "heartbeat.max_ms=%s" % m.group(3)]
print("idle memory after start-up: %.1f MB resident" % (int(idle_kb) / 1024))
print("quit after the runs: %s s and %s s" % (quit_a, quit_b))
out += ["idle.rss_mb=%.1f" % (int(idle_kb) / 1024), "quit.seconds=%s" % max(float(quit_a), float(quit_b))]
print()
for r in rows:
    print(json.dumps(r))
print()
for line in out:
    print("ingest." + line)
PY
