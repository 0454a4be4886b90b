#!/usr/bin/env bash
# Runs korrind on the embedded default in ./var: a registry folder whose
# BootpSettings point at ./var/bootptab (from the example table) and a log
# file in ./var.
#
#   tools/run-korrind.sh           demo: korrind in its own network namespace,
#                                  a client asks over a veth pair, korrind
#                                  answers; it keeps running until Ctrl+C
#   tools/run-korrind.sh --once    the demo, then stop (for scripts and tests)
#   tools/run-korrind.sh --host    korrind on this machine's network, in the
#                                  foreground (port 67: root or CAP_NET_BIND_SERVICE)
#
# KORRIND_VAR_DIR and KORRIND_BIN override ./var and build/server/app/korrind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
var=${KORRIND_VAR_DIR:-$root/var}
korrind=${KORRIND_BIN:-$root/build/server/app/korrind}
mode=${1:-demo}

case "$mode" in
demo | --demo) mode=demo ;;
--once) mode=once ;;
--host) mode=host ;;
-h | --help)
    sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
*)
    echo "run-korrind: unknown option $mode (try --help)" >&2
    exit 2
    ;;
esac

if [ ! -x "$korrind" ]; then
    echo "run-korrind: $korrind is not built; run tools/setup-and-run.sh or cmake --build build" >&2
    exit 1
fi
# It runs from the var folder, where a relative log file name lands.
korrind=$(cd "$(dirname "$korrind")" && pwd)/$(basename "$korrind")

# The embedded default: made once, left alone afterwards so the operator's
# changes (olvani-reg, the dialogs) survive the next run.
mkdir -p "$var/registry"
var=$(cd "$var" && pwd)
[ -f "$var/bootptab" ] || cp "$root/server/app/dist/bootptab.example" "$var/bootptab"
hive="$var/registry/HKEY_LOCAL_MACHINE.reg"
if [ ! -f "$hive" ]; then
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex\Olvani\BootpSettings]' \
        "\"Bootptabfile\"=\"$var/bootptab\"" \
        "\"Bootplogfile\"=\"$var/korrind.log\"" \
        '"EnableLogging"="1"' >"$hive"
fi
export OLVANI_REGISTRY_DIR="$var/registry"
log="$var/korrind.log"

explain_failure() {
    if grep -q 'bind function failed with: 13' "$1" 2>/dev/null; then
        echo "run-korrind: port 67 needs root or CAP_NET_BIND_SERVICE:" >&2
        echo "  sudo tools/run-korrind.sh --host, or install with tools/install-korrind.sh" >&2
    elif grep -q 'bind function failed with: 98' "$1" 2>/dev/null; then
        echo "run-korrind: port 67 is taken by another server on this machine" >&2
    fi
}

if [ "$mode" = host ]; then
    errors=$(mktemp)
    trap 'rm -f "$errors"' EXIT
    echo "run-korrind: korrind on this machine's network; table $var/bootptab, log $log"
    set +e
    (cd "$var" && "$korrind" 2> >(tee "$errors" >&2))
    status=$?
    set -e
    [ $status -eq 0 ] || explain_failure "$errors"
    exit $status
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "run-korrind: the demo makes network namespaces and needs root (sudo $0)," >&2
    echo "  or run korrind on this machine's network with --host" >&2
    exit 1
fi
ipconfig=/usr/lib/klibc/bin/ipconfig
[ -x "$ipconfig" ] || { echo "run-korrind: klibc-utils is missing (tools/install-deps.sh)" >&2; exit 1; }

# Two namespaces joined by a veth pair: the server at 10.77.0.1, the client
# with the hardware address of the example table's demo1 entry.
server_ns=korrind-demo-srv-$$
client_ns=korrind-demo-cli-$$
errors=$(mktemp)
pid=
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    ip netns del "$server_ns" 2>/dev/null || true
    ip netns del "$client_ns" 2>/dev/null || true
    rm -f "$errors"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$server_ns"
ip netns add "$client_ns"
ip link add kdemo0 netns "$server_ns" type veth peer name kdemo1 netns "$client_ns"
ip -n "$server_ns" link set lo up
ip -n "$server_ns" addr add 10.77.0.1/24 dev kdemo0
ip -n "$server_ns" link set kdemo0 up
ip -n "$client_ns" link set lo up
ip -n "$client_ns" link set kdemo1 address 02:00:4c:12:34:56
ip -n "$client_ns" link set kdemo1 up

(cd "$var" && exec ip netns exec "$server_ns" env QT_QPA_PLATFORM=offscreen "$korrind") 2>"$errors" &
pid=$!
for _ in $(seq 100); do
    ip netns exec "$server_ns" grep -q ':0043 ' /proc/net/udp && break
    if ! kill -0 "$pid" 2>/dev/null; then
        cat "$errors" >&2
        explain_failure "$errors"
        echo "run-korrind: korrind did not start" >&2
        exit 1
    fi
    sleep 0.1
done

echo "run-korrind: korrind runs in network namespace $server_ns (10.77.0.1, table $var/bootptab)"
echo "run-korrind: a client with hardware address 02:00:4c:12:34:56 asks by BOOTP:"
# Dry run in a host name namespace of its own: the client changes nothing here.
if ! ip netns exec "$client_ns" unshare -u "$ipconfig" -n -t 10 -c bootp -d kdemo1; then
    echo "run-korrind: no answer; korrind said:" >&2
    cat "$errors" >&2
    exit 1
fi
echo
echo "run-korrind: korrind's log file $log ends with:"
tail -n 12 "$log" | tr -d '\r'

if [ "$mode" = once ]; then
    exit 0
fi
echo
echo "run-korrind: korrind keeps running; Ctrl+C stops it and removes the namespaces."
wait "$pid"
