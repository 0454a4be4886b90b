#!/usr/bin/env bash
# The README's first command ends in tools/run-korrind.sh: on a fresh var
# folder it makes the embedded default, starts korrind and shows it answering.
set -euo pipefail
: "${KORRIND:?KORRIND must name the korrind program}"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the demo creates network namespaces and needs root"
    exit 77
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
var=$(mktemp -d /tmp/korrind-run.XXXXXX)
trap 'rm -rf "$var"' EXIT
out=$var/out.txt
KORRIND_VAR_DIR=$var KORRIND_BIN=$KORRIND timeout 120 "$root/tools/run-korrind.sh" --once >"$out" 2>&1 ||
    { cat "$out"; echo "FAIL: run-korrind.sh --once failed"; exit 1; }
cat "$out"
grep -q 'address: 10.77.0.5 ' "$out" || { echo "FAIL: the demo client got no address"; exit 1; }
grep -q 'Status: Reply to BOOTP Request has been sent' "$out" ||
    { echo "FAIL: the log does not show the reply"; exit 1; }
[ -f "$var/registry/HKEY_LOCAL_MACHINE.reg" ] && [ -f "$var/bootptab" ] ||
    { echo "FAIL: the embedded default was not made"; exit 1; }
# No namespace of the demo is left behind.
if ip netns list | grep -q "korrind-demo-"; then
    echo "FAIL: demo namespaces left behind"
    exit 1
fi
echo "PASS"
