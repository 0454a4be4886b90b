#!/usr/bin/env bash
# The editor and a running korrind on one machine: the editor creates the
# table, korrind starts on it, the editor adds an unknown device and a real
# BOOTP client (klibc ipconfig) gets its address; the editor changes the
# address and the client gets the new one, with no restart of the server.
# Needs root; KORRIND and TABLE_TOOL name the programs.
. "$(dirname "$0")/netns.sh"
: "${KORRIND:?KORRIND must name the korrind program}"
: "${TABLE_TOOL:?TABLE_TOOL must name the table tool of the editor}"
DRIVER=$KORRIND
e2e_setup
rm -f "$WORK/bootptab"

tool() { OLVANI_REGISTRY_DIR="$WORK/registry" "$TABLE_TOOL" "$@"; }
tool create 255.255.255.0 10.67.0.1 || e2e_fail "the editor did not create the table"

e2e_start_korrind "" QT_QPA_PLATFORM=offscreen

ask() {
    in_cli_private_run timeout 30 /usr/lib/klibc/bin/ipconfig -c bootp -t 10 -d "$CLI_IF" \
        >"$WORK/ipconfig.out" 2>&1 || { cat "$WORK/ipconfig.out"; e2e_fail "ipconfig got no answer"; }
    grep -Eq "address: $1 " "$WORK/ipconfig.out" || { cat "$WORK/ipconfig.out"; e2e_fail "not given $1"; }
}

tool add "$WORK/bootptab" "$CLI_MAC" lab1 10.67.0.10 || e2e_fail "the editor did not add the host"
ask 10.67.0.10
in_cli ip addr flush dev "$CLI_IF"
tool modify "$WORK/bootptab" "$CLI_MAC" 10.67.0.11 || e2e_fail "the editor did not modify the host"
ask 10.67.0.11
kill -0 "$DRIVER_PID" 2>/dev/null || e2e_fail "korrind ended"
echo "PASS: korrind answered the editor's entry, then its change"
