#!/usr/bin/env bash
# klibc's ipconfig, as Debian's initramfs runs it for network boot, gets its
# configuration from the server. It sends requests of 236 bytes.
. "$(dirname "$0")/clients.sh"
IPCONFIG=/usr/lib/klibc/bin/ipconfig
[ -x "$IPCONFIG" ] || { echo "FAIL: $IPCONFIG missing (tools/install-deps.sh installs klibc-utils)"; exit 1; }
e2e_client_setup

in_cli_private_run timeout 30 "$IPCONFIG" -c bootp -t 10 -d "$CLI_IF" > "$WORK/client.out" 2>&1 ||
    { cat "$WORK/client.out"; e2e_fail "ipconfig did not complete"; }
cat "$WORK/client.out"
expect_contains "$WORK/client.out" "complete (bootp from $SRV_ADDR)"
grep -Eq "address: $CLIENT_IP +broadcast: [0-9.]+ +netmask: $CLIENT_MASK" "$WORK/client.out" ||
    e2e_fail "ipconfig did not take the address and mask"
grep -Eq "gateway: $CLIENT_GW " "$WORK/client.out" || e2e_fail "ipconfig did not take the gateway"
grep -Eq "host +: $CLIENT_NAME\b" "$WORK/client.out" || e2e_fail "ipconfig did not take the host name"
grep -Eq "rootserver: $SRV_ADDR " "$WORK/client.out" || e2e_fail "siaddr is not the server's"
grep -Eq "filename +: $BOOT_FILE\$" "$WORK/client.out" || e2e_fail "ipconfig did not take the boot file"
expect_reply_sent
echo "PASS"
