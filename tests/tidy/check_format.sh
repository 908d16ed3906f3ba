#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what the project's
# .clang-format makes of it; prints the places. Usage: check_format.sh SOURCE_DIR
set -euo pipefail
cd "$1"
git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror
echo "clang-format: every file as the project's layout has it"
