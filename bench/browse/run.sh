#!/usr/bin/env bash
# Browsing benchmark: a private MariaDB and X server, LogTab filled with
# 10,000,000 rows over 200 routers (one of them with a tenth of the rows, one
# with 50,000), then the tree fill, pages and the filter timed.
# ROWS and ROUTERS may be given in the environment; BENCH_DIR keeps the
# database between runs (default: a fresh temporary folder).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
rows=${ROWS:-10000000}
routers=${ROUTERS:-200}
build=${BUILD_DIR:-$top/build-bench}

mkdir -p "$build"
if ! { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" -j2 --target browse_bench; } >"$build/bench-build.log" 2>&1; then
  tail -n 30 "$build/bench-build.log" >&2
  exit 1
fi

. "$top/scripts/xvfb.sh"
. "$top/scripts/mariadb.sh"
dir=${BENCH_DIR:-$(mktemp -d /tmp/logserver-bench.XXXXXX)}
# Every step of the clean-up runs, whatever the one before returned.
cleanup() { set +e; mariadb_stop; xvfb_stop; [ -n "${BENCH_DIR:-}" ] || rm -rf "$dir"; }
trap cleanup EXIT
# A signal ends the script through its exit, so the servers are stopped; a
# closed output pipe does not cut the clean-up short.
trap 'exit 1' INT TERM HUP
trap '' PIPE

xvfb_start
port=$(free_port)
mariadb_start "$dir/db" "$port" "$dir/mysqld.sock"
# The whole table (4 GB of rows, 0.4 GB of indexes) fits in memory, as on a
# server that has run for a while.
mariadb --no-defaults -uroot --socket="$dir/mysqld.sock" \
  -e "set global innodb_buffer_pool_size = 6442450944"
for _ in $(seq 600); do
  size=$(mariadb --no-defaults -uroot --socket="$dir/mysqld.sock" -N -e "select @@innodb_buffer_pool_size")
  status=$(mariadb --no-defaults -uroot --socket="$dir/mysqld.sock" -N \
    -e "show status like 'Innodb_buffer_pool_resize_status'" | cut -f2)
  [ "$size" = 6442450944 ] && { [ -z "$status" ] || [[ "$status" == *ompleted* ]]; } && break
  sleep 0.1
done

"$build/bench/browse/browse_bench" "$port" "$rows" "$routers"
