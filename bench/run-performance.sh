#!/usr/bin/env bash
# The BOOTP server's performance against its targets, in one run on one
# machine: a null responder (the rig's ceiling), bootp-driver (the engine
# alone, status output off) and korrind with logging off and on, each in a
# network namespace of its own with bootp-load in another, joined by a veth
# pair (both made here and removed at the end). For tables of 1,000 and
# 50,000 generated hosts (and 500,000 with --big) it measures
#   - replies/s, closed loop with 64 requests outstanding, median of rounds;
#   - ready: wall-clock time from the server's exec to its first valid reply
#     (a probe asks for the table's last host every millisecond);
#   - RSS after the rounds, and from it the growth per host (1k to 50k);
# then prints every figure against its target as a ratio within this run.
# The load tool shares the cores with the server; rounds vary by some 20%,
# so compare ratios, and run it on a quiet machine. Needs root.
#
# Usage: bench/run-performance.sh [--big] [--smoke] [build-dir]  (default: build)
#   --big     also 500,000 hosts (one round; bootp-driver and korrind)
#   --smoke   one short round at 100 and 1,000 hosts: checks the rig works
#   PERF_SECONDS  length of a round (default 4)
set -euo pipefail
cd "$(dirname "$0")/.."
big=0
smoke=0
build=build
for argument in "$@"; do
    case $argument in
    --big) big=1 ;;
    --smoke) smoke=1 ;;
    -*) echo "usage: $0 [--big] [--smoke] [build-dir]" >&2; exit 64 ;;
    *) build=$argument ;;
    esac
done
KORRIND=$(realpath "$build/server/app/korrind")
DRIVER=$(realpath "$build/bootp/bootp-driver")
LOAD=$(realpath "$build/bench/bootp-load")
NULL=$(realpath "$build/bench/null-responder")
for program in "$KORRIND" "$DRIVER" "$LOAD" "$NULL"; do
    [ -x "$program" ] || {
        echo "build first: cmake --build $build --target korrind bootp-driver bootp-load null-responder"
        exit 1
    }
done
seconds=${PERF_SECONDS:-4}
small=1000 large=50000 small_rounds=2 large_rounds=3
if [ $smoke = 1 ]; then
    seconds=1 small=100 large=1000 small_rounds=1 large_rounds=1 big=0
fi
huge=500000

# shellcheck source=../tests/e2e/netns.sh
. tests/e2e/netns.sh
e2e_setup
hive=$WORK/registry/HKEY_LOCAL_MACHINE.reg
cp "$hive" "$WORK/hive.base"

declare -A RATE READY RSS ROUNDS

# The hive for korrind: logging on (1) or off (0).
write_hive() {
    { cat "$WORK/hive.base"
      printf '"Bootplogfile"="%s"\r\n"EnableLogging"="%s"\r\n' "$WORK/korrind.log" "$1"
    } >"$hive"
}

# Starts server $1 with a table of $2 hosts and records READY[$1,$2]: a
# probe in the client namespace asks before the server exists, and the
# server's wrapper notes the wall-clock time just before its exec.
start_server() {
    local kind=$1 hosts=$2 program args=()
    case $kind in
    null) program=$NULL ;;
    driver) program=$DRIVER args=(--quiet) ;;
    korrind-off) program=$KORRIND; write_hive 0 ;;
    korrind-on) program=$KORRIND; write_hive 1 ;;
    esac
    rm -f "$WORK/server.pid" "$WORK/server.start" "$WORK/korrind.log" "$WORK/probe.out"
    # The null responder gives no valid reply: it is only waited for.
    local probe="" tries=500
    if [ "$kind" != null ]; then
        in_cli timeout 60 "$LOAD" --device "$CLI_IF" --hosts "$hosts" --probe-ms 1 \
            --seconds 30 >"$WORK/probe.out" &
        probe=$!
        until grep -q probing "$WORK/probe.out" 2>/dev/null; do
            tries=$((tries - 1))
            [ $tries -gt 0 ] || e2e_fail "the probe did not start"
            sleep 0.01
        done
    fi
    # shellcheck disable=SC2016 # expanded by the inner bash
    (cd "$WORK" && exec ip netns exec "$SRV_NS" env OLVANI_REGISTRY_DIR="$WORK/registry" \
        QT_QPA_PLATFORM=offscreen unshare --uts sh -c 'hostname localhost && exec "$@"' sh \
        timeout --foreground 600 bash -c \
        'echo $$ >server.pid; echo "$EPOCHREALTIME" >server.start; exec "$@"' bash \
        "$program" "${args[@]}") >"$WORK/driver.out" 2>&1 &
    DRIVER_PID=$!
    if [ -z "$probe" ]; then
        READY[$kind,$hosts]=-
        e2e_wait_for_line "listening" 100 || e2e_fail "$kind did not start"
        return
    fi
    wait "$probe" || e2e_fail "$kind did not answer the probe"
    local replied started
    replied=$(sed -n 's/^first-valid-reply=//p' "$WORK/probe.out")
    started=$(cat "$WORK/server.start")
    READY[$kind,$hosts]=$(awk -v a="$replied" -v b="$started" 'BEGIN { printf "%.3f", a - b }')
}

# Median of the numbers given.
median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Closed-loop rounds against the running server; RATE, ROUNDS and RSS.
measure() {
    local kind=$1 hosts=$2 rounds=$3 out rates=()
    for _ in $(seq "$rounds"); do
        out=$(in_cli timeout $((seconds + 30)) "$LOAD" --device "$CLI_IF" --hosts "$hosts" \
            --window 64 --gather-us 200 --seconds "$seconds")
        rates+=("$(sed -n 's/.* replies\/s=\([0-9]*\).*/\1/p' <<<"$out")")
        if [ "$kind" != null ] && ! grep -q ' lost=0 ' <<<"$out"; then
            echo "   note ($kind, $hosts hosts): $out"
        fi
    done
    RATE[$kind,$hosts]=$(median "${rates[@]}")
    ROUNDS[$kind,$hosts]="${rates[*]}"
    RSS[$kind,$hosts]=$(awk '/^VmRSS:/ { print $2 }' "/proc/$(cat "$WORK/server.pid")/status")
}

run_kind() {
    start_server "$1" "$2"
    measure "$1" "$2" "$3"
    e2e_stop_driver
    printf '%-12s %7s hosts: %7s replies/s (rounds %s), ready %s s, RSS %s kB\n' "$1" "$2" \
        "${RATE[$1,$2]}" "${ROUNDS[$1,$2]}" "${READY[$1,$2]}" "${RSS[$1,$2]}"
}

table_of() {
    "$LOAD" --write-table "$WORK/bootptab" --hosts "$1"
    # A table written within the last seconds is read again on every request
    # (its time stamp cannot yet be trusted); age it as a table in use would be.
    touch -d '-1 minute' "$WORK/bootptab"
}

echo "performance: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); ${seconds}s rounds"
kinds=(null driver korrind-off korrind-on)
for hosts in $small $large; do
    table_of "$hosts"
    rounds=$small_rounds
    [ "$hosts" = $large ] && rounds=$large_rounds
    for kind in "${kinds[@]}"; do
        run_kind "$kind" "$hosts" "$rounds"
    done
done
if [ $big = 1 ]; then
    table_of $huge
    for kind in driver korrind-off; do
        run_kind "$kind" $huge 1
    done
fi

# One target line: text, figure, comparison (ge/le/lt), wanted value.
verdict() {
    awk -v text="$1" -v figure="$2" -v op="$3" -v want="$4" 'BEGIN {
        if (figure == "" || figure == "-") { printf "  %-52s %9s\n", text, "n/a"; exit }
        met = (op == "ge" && figure >= want) || (op == "le" && figure <= want) ||
              (op == "lt" && figure < want)
        sign = op == "ge" ? ">=" : op == "le" ? "<=" : "<"
        printf "  %-52s %9." (figure >= 10 ? 0 : 3) "f  %s %-5s %s\n", text, figure, sign, want,
               met ? "met" : "NOT MET" }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b }'; }
per_host() {
    awk -v a="$1" -v b="$2" -v n=$((large - small)) 'BEGIN { printf "%.0f", (a - b) * 1024 / n }'
}

L=$large S=$small
echo
echo "targets ($L and $S hosts; ratios within this run):"
verdict "korrind log off / bootp-driver, $L hosts" \
    "$(ratio "${RATE[korrind-off,$L]}" "${RATE[driver,$L]}")" ge 0.90
verdict "bootp-driver / null responder, $L hosts" \
    "$(ratio "${RATE[driver,$L]}" "${RATE[null,$L]}")" ge 0.70
verdict "korrind log off, $L / $S hosts (as fast)" \
    "$(ratio "${RATE[korrind-off,$L]}" "${RATE[korrind-off,$S]}")" ge 0.95
verdict "korrind log on / log off, $L hosts" \
    "$(ratio "${RATE[korrind-on,$L]}" "${RATE[korrind-off,$L]}")" ge 0.50
verdict "korrind log on / log off, $S hosts" \
    "$(ratio "${RATE[korrind-on,$S]}" "${RATE[korrind-off,$S]}")" ge 0.50
verdict "korrind ready with $L hosts (s)" "${READY[korrind-off,$L]}" lt 0.1
verdict "bootp-driver ready with $L hosts (s)" "${READY[driver,$L]}" lt 0.1
verdict "korrind RSS growth per host (bytes)" \
    "$(per_host "${RSS[korrind-off,$L]}" "${RSS[korrind-off,$S]}")" le 184
verdict "bootp-driver RSS growth per host (bytes)" \
    "$(per_host "${RSS[driver,$L]}" "${RSS[driver,$S]}")" le 184
if [ $big = 1 ]; then
    verdict "korrind ready with $huge hosts (s)" "${READY[korrind-off,$huge]}" lt 1
    verdict "bootp-driver ready with $huge hosts (s)" "${READY[driver,$huge]}" lt 1
    verdict "korrind log off, $huge / $S hosts" \
        "$(ratio "${RATE[korrind-off,$huge]}" "${RATE[korrind-off,$S]}")" ge 0.90
    verdict "bootp-driver, $huge / $S hosts" \
        "$(ratio "${RATE[driver,$huge]}" "${RATE[driver,$S]}")" ge 0.90
fi
