#!/usr/bin/env bash
# Runs every libFuzzer target of a build for a bounded time each.
# Usage: tools/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build dir}
seconds=${2:-30}
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzzing: no fuzz targets built"
    exit 0
fi
status=0
for target in "${targets[@]}"; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
    echo "fuzzing: $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
            "$corpus" > "$build/$name.log" 2>&1; then
        tail -40 "$build/$name.log"
        status=1
    fi
    rm -rf "$corpus"
done
exit $status
