# shellcheck shell=bash
# Shared by the real-client tests: one table entry for the client veth with
# an address, mask, gateway, host name and a boot file the server can serve.

# shellcheck source=netns.sh
. "$(dirname "${BASH_SOURCE[0]}")/netns.sh"

CLIENT_IP=10.67.0.10
CLIENT_MASK=255.255.255.0
CLIENT_GW=10.67.0.1
CLIENT_NAME=lab1

# Sets up the namespaces, the table and the boot file, and starts the driver.
e2e_client_setup() {
    e2e_setup
    BOOT_FILE=$WORK/boot/lab1.img
    mkdir -p "$WORK/boot"
    head -c 1024 /dev/zero > "$BOOT_FILE"
    chmod 644 "$BOOT_FILE"
    printf '%s:ht=1:ha=%s:ip=%s:sm=%s:gw=%s:hn:bf=%s:\n' "$CLIENT_NAME" "$CLI_MAC" \
        "$CLIENT_IP" "$CLIENT_MASK" "$CLIENT_GW" "$BOOT_FILE" > "$WORK/bootptab"
    e2e_start_driver
}

# The server's side of one answered request.
expect_reply_sent() {
    e2e_wait_for_line "Status: Reply to BOOTP Request has been sent" 50 ||
        e2e_fail "the driver did not send a reply"
    expect_contains "$WORK/driver.out" "Status: BOOTP Server responding with file: $BOOT_FILE"
    expect_contains "$WORK/driver.out" "Status: Host IP Address is: $SRV_ADDR"
    if grep -q "^Error:" "$WORK/driver.out"; then
        e2e_fail "the driver reported an error"
    fi
}
