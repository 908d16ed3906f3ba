#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over the program's and the
# modules' own sources in the build tree's compile database; any finding
# fails. Usage: run_tidy.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
files=$(python3 - "$src" "$build" <<'PY'
import json, os, sys
src, build = sys.argv[1], sys.argv[2]
own = (os.path.join(src, "src") + "/", os.path.join(src, "modules") + "/")
seen = set()
for entry in json.load(open(os.path.join(build, "compile_commands.json"))):
    f = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if f.startswith(own) and f not in seen:
        seen.add(f)
        print(f)
PY
)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# -quiet keeps the summary lines of headers out; findings are printed in full.
run-clang-tidy -p "$build" -quiet -j 2 $files >"$out" 2>&1 || true
if grep -E '(warning|error): .*\[[a-z-]+(,[a-z-]+)*\]' "$out"; then
    echo "clang-tidy: findings above"
    exit 1
fi
echo "clang-tidy: $(echo "$files" | wc -l) files, no findings"
