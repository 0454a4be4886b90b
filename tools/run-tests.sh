#!/usr/bin/env bash
# Builds and runs the whole test suite. Usage: tools/run-tests.sh [build-dir] [extra cmake args...]
# Network tests create their own namespaces and need root; everything else runs as any user.
# Run as root, any skipped test fails the run: nothing has a reason to skip there.
# Run without root, the skipped tests are named loudly, as the run then proves less.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DOLVANI_WERROR=ON "$@"
cmake --build "$build" --parallel "$(nproc)"
results=$(realpath "$build")/ctest-results.xml
rm -f "$results"
status=0
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600 \
    --output-junit "$results" || status=$?
[ -f "$results" ] || { echo "run-tests: ctest wrote no results"; exit 1; }

# Each skipped case is a <testcase ...> line followed by its <skipped .../> line.
skipped=$(grep -B1 '<skipped' "$results" | sed -n 's/.*<testcase name="\([^"]*\)".*/\1/p' || true)
if [ -n "$skipped" ]; then
    count=$(echo "$skipped" | wc -l)
    echo
    echo "######################################################################"
    if [ "$(id -u)" -eq 0 ]; then
        echo "# FAILED: $count test(s) SKIPPED although running as root:"
        status=1
    else
        echo "# WARNING: not running as root, $count test(s) SKIPPED and proved nothing:"
    fi
    echo "$skipped" | sed 's/^/#   /'
    echo "######################################################################"
fi
exit $status
