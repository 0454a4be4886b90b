#!/usr/bin/env bash
# ISC dhclient accepts the BOOTP reply as its lease. Its configuration, lease
# and pid files are private to the test, and -sf /bin/true keeps it from
# changing anything.
. "$(dirname "$0")/clients.sh"
DHCLIENT=/sbin/dhclient
[ -x "$DHCLIENT" ] || { echo "FAIL: $DHCLIENT missing (tools/install-deps.sh installs isc-dhcp-client)"; exit 1; }
e2e_client_setup

printf 'request subnet-mask, routers, host-name;\n' > "$WORK/dhclient.conf"
in_cli_private_run timeout 40 "$DHCLIENT" -1 -v -cf "$WORK/dhclient.conf" -lf "$WORK/dhclient.leases" \
    -pf "$WORK/dhclient.pid" -sf /bin/true "$CLI_IF" > "$WORK/client.out" 2>&1 ||
    { cat "$WORK/client.out"; e2e_fail "dhclient got no lease"; }
[ -f "$WORK/dhclient.pid" ] && kill "$(cat "$WORK/dhclient.pid")" 2>/dev/null || true
cat "$WORK/client.out" "$WORK/dhclient.leases"
expect_contains "$WORK/client.out" "BOOTREPLY of $CLIENT_IP from $SRV_ADDR"
expect_contains "$WORK/dhclient.leases" "bootp;"
expect_contains "$WORK/dhclient.leases" "fixed-address $CLIENT_IP;"
expect_contains "$WORK/dhclient.leases" "option subnet-mask $CLIENT_MASK;"
expect_contains "$WORK/dhclient.leases" "option routers $CLIENT_GW;"
expect_contains "$WORK/dhclient.leases" "option host-name \"$CLIENT_NAME\";"
expect_contains "$WORK/dhclient.leases" "filename \"$BOOT_FILE\";"
expect_reply_sent
echo "PASS"
