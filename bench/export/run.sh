#!/usr/bin/env bash
# Export benchmark: a private MariaDB, LogTab filled with one router of
# 100,000 and one of 1,000,000 records, then each router's records exported
# to workbooks and a PDF through the export worker. Sizes may be given as
# arguments; BENCH_DIR keeps the database between runs (default: a fresh
# temporary folder), BUILD_DIR names the build tree.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$top/build-bench}

"$top/scripts/deps.sh"
mkdir -p "$build"
if ! { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" -j2 --target export_bench; } >"$build/bench-build.log" 2>&1; then
  tail -n 30 "$build/bench-build.log" >&2
  exit 1
fi

. "$top/scripts/mariadb.sh"
dir=${BENCH_DIR:-$(mktemp -d /tmp/logserver-bench.XXXXXX)}
# Every step of the clean-up runs, whatever the one before returned.
cleanup() { set +e; mariadb_stop; [ -n "${BENCH_DIR:-}" ] || rm -rf "$dir"; }
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
trap '' PIPE

port=$(free_port)
mariadb_start "$dir/db" "$port" "$dir/mysqld.sock"
# The whole table fits in memory, as on a server that has run for a while.
mariadb --no-defaults -uroot --socket="$dir/mysqld.sock" \
  -e "set global innodb_buffer_pool_size = 2147483648"

"$build/bench/export/export_bench" "$port" "$@"
