#!/usr/bin/env bash
# Load figures of the korrind program beside those of the engine alone:
# bootp-driver (status output off), then korrind with logging off and with
# logging on, each in one network namespace with bootp-load in another,
# joined by a veth pair. One table of generated hosts; closed loop at W=64,
# then open loop at fixed rates. Needs root (it creates the namespaces).
#
# Usage: bench/run-korrind-load.sh [build-dir]     (default: build)
#   LOAD_SECONDS   length of each run (default 5)
#   LOAD_HOSTS     hosts in the table (default 1000)
#   LOAD_RATES     open-loop rates to try (default "2000 5000 10000")
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
KORRIND=$(realpath "$build/server/app/korrind")
DRIVER=$(realpath "$build/bootp/bootp-driver")
LOAD=$(realpath "$build/bench/bootp-load")
seconds=${LOAD_SECONDS:-5}
hosts=${LOAD_HOSTS:-1000}
rates=${LOAD_RATES:-"2000 5000 10000"}
[ -x "$KORRIND" ] && [ -x "$DRIVER" ] && [ -x "$LOAD" ] || {
    echo "build them first: cmake --build $build --target korrind bootp-driver bootp-load"
    exit 1
}

# shellcheck source=../tests/e2e/netns.sh
. tests/e2e/netns.sh
e2e_setup

"$LOAD" --write-table "$WORK/bootptab" --hosts "$hosts"
# A table written within the last seconds is read again on every request
# (its time stamp cannot yet be trusted); age it as a table in use would be.
touch -d '-1 minute' "$WORK/bootptab"
hive=$WORK/registry/HKEY_LOCAL_MACHINE.reg
cp "$hive" "$WORK/hive.base"

run_load() {
    in_cli timeout $((seconds + 30)) "$LOAD" --device "$CLI_IF" --hosts "$hosts" \
        --window 64 --seconds "$seconds"
    for rate in $rates; do
        in_cli timeout $((seconds + 30)) "$LOAD" --device "$CLI_IF" --hosts "$hosts" \
            --rate "$rate" --seconds "$seconds"
    done
}

start_korrind() {
    (cd "$WORK" && exec ip netns exec "$SRV_NS" env QT_QPA_PLATFORM=offscreen \
        OLVANI_REGISTRY_DIR="$WORK/registry" timeout --foreground 600 "$KORRIND") >"$WORK/driver.out" 2>&1 &
    DRIVER_PID=$!
    for _ in $(seq 200); do
        in_srv grep -q ':0043 ' /proc/net/udp && return 0
        kill -0 "$DRIVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    e2e_fail "korrind did not start"
}

echo "korrind load: $(nproc) cores shared by server and load tool; ${seconds}s per run, $hosts hosts"
echo "== bootp-driver (engine alone, status output off)"
e2e_start_driver --quiet
run_load
e2e_stop_driver

for logging in 0 1; do
    rm -f "$WORK/korrind.log"
    { cat "$WORK/hive.base"
      printf '"Bootplogfile"="%s"\r\n"EnableLogging"="%s"\r\n' "$WORK/korrind.log" "$logging"
    } >"$hive"
    echo "== korrind, logging $([ $logging = 1 ] && echo on || echo off)"
    start_korrind
    run_load
    e2e_stop_driver
    if [ $logging = 1 ]; then
        echo "   log file: $(wc -l <"$WORK/korrind.log") lines, $(du -h "$WORK/korrind.log" | cut -f1)"
    fi
done
