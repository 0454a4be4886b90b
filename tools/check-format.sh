#!/usr/bin/env bash
# Fails when a tracked C++ file differs from clang-format's layout.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' '*.hpp' '*.cc')
[ -z "$files" ] && exit 0
echo "$files" | xargs clang-format --dry-run --Werror
echo "formatting: $(echo "$files" | wc -l) files clean"
