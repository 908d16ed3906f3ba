#!/usr/bin/env bash
# Configures and builds into build/; the program and its run directory end up
# in build/run/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LOGSERVER_BUILD:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" ${LOGSERVER_TARGETS:+--target $LOGSERVER_TARGETS}
