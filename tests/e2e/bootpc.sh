#!/usr/bin/env bash
# Debian's bootpc client (300-byte requests) gets its configuration.
. "$(dirname "$0")/clients.sh"
BOOTPC=/sbin/bootpc
[ -x "$BOOTPC" ] || { echo "FAIL: $BOOTPC missing (tools/install-deps.sh installs bootpc)"; exit 1; }
e2e_client_setup

in_cli_private_run timeout 30 "$BOOTPC" --dev "$CLI_IF" --timeoutwait 10 > "$WORK/client.out" 2>&1 ||
    { cat "$WORK/client.out"; e2e_fail "bootpc did not complete"; }
cat "$WORK/client.out"
expect_contains "$WORK/client.out" "IPADDR='$CLIENT_IP'"
expect_contains "$WORK/client.out" "NETMASK='$CLIENT_MASK'"
expect_contains "$WORK/client.out" "GATEWAYS='$CLIENT_GW'"
expect_contains "$WORK/client.out" "HOSTNAME='$CLIENT_NAME'"
expect_contains "$WORK/client.out" "BOOTFILE='$BOOT_FILE'"
expect_reply_sent
echo "PASS"
