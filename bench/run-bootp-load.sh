#!/usr/bin/env bash
# Load figures of the BOOTP engine: bootp-driver (status output off) in one
# network namespace, bootp-load in another, joined by a veth pair. Tables of
# 1,000 and 50,000 generated hosts; closed loop at W=64 (the load tool
# gathers replies for 200 us so it takes less of the shared CPU), then open
# loop at fixed rates for loss and latency. Needs root (it creates the
# namespaces).
#
# Usage: bench/run-bootp-load.sh [build-dir]     (default: build)
#   LOAD_SECONDS   length of each run (default 10)
#   LOAD_RATES     open-loop rates to try (default "5000 15000 25000 30000")
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
DRIVER=$(realpath "$build/bootp/bootp-driver")
LOAD=$(realpath "$build/bench/bootp-load")
seconds=${LOAD_SECONDS:-10}
rates=${LOAD_RATES:-"5000 15000 25000 30000"}
[ -x "$DRIVER" ] && [ -x "$LOAD" ] || {
    echo "build bootp-driver and bootp-load first: cmake --build $build --target bootp-driver bootp-load"
    exit 1
}

# shellcheck source=../tests/e2e/netns.sh
. tests/e2e/netns.sh
e2e_setup

echo "bootp load: $(nproc) cores shared by server and load tool; ${seconds}s per run"
for hosts in 1000 50000; do
    "$LOAD" --write-table "$WORK/bootptab" --hosts "$hosts"
    # A table written within the last seconds is read again on every request
    # (its time stamp cannot yet be trusted); age it as a table in use would be.
    touch -d '-1 minute' "$WORK/bootptab"
    e2e_start_driver --quiet
    in_cli timeout $((seconds + 30)) "$LOAD" --device "$CLI_IF" --hosts "$hosts" \
        --window 64 --gather-us 200 --seconds "$seconds"
    for rate in $rates; do
        in_cli timeout $((seconds + 30)) "$LOAD" --device "$CLI_IF" --hosts "$hosts" \
            --rate "$rate" --seconds "$seconds"
    done
    e2e_stop_driver
done
