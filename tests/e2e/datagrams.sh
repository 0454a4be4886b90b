#!/usr/bin/env bash
# Datagrams real clients never send, through a veth pair: too short, just
# long enough, a reply, too long, an unknown client, a client that knows its
# address, a relay agent, and a table edited while the server runs.
. "$(dirname "$0")/netns.sh"
: "${PROBE:?PROBE must name the bootp-probe program}"
e2e_setup
printf 'lab1:ht=1:ha=%s:ip=10.67.0.10:sm=255.255.255.0:\n' "$CLI_MAC" > "$WORK/bootptab"
e2e_start_driver

# Sends one datagram with bootp-probe from the client namespace; its output
# goes to $WORK/probe.out, and e2e_request_lines then gives the driver's
# lines for it.
probe() {
    e2e_mark
    in_cli timeout 10 "$PROBE" --chaddr "$CLI_MAC" "$@" > "$WORK/probe.out" 2>&1 || true
}
expect_reply() {
    grep -qF -- "$1" "$WORK/probe.out" || { cat "$WORK/probe.out"; e2e_fail "$2"; }
}
expect_lines() {
    local got
    got=$(e2e_request_lines)
    [ "$got" = "$1" ] || { printf 'got:\n%s\nexpected:\n%s\n' "$got" "$1"; e2e_fail "$2"; }
}

probe --device "$CLI_IF" --length 235 --wait 1
expect_reply "no reply" "a 235-byte datagram was answered"
expect_lines "Error:  The BootP Server received a short packet." "235 bytes: not the short-packet line"

probe --device "$CLI_IF" --length 236
expect_reply "reply: length=300 op=2 from=$SRV_ADDR:67 yiaddr=10.67.0.10 siaddr=$SRV_ADDR giaddr=$SRV_ADDR" \
    "a 236-byte request was not answered"
expect_reply "option 1: ff ff ff 00" "the reply to a 236-byte request lacks its subnet mask"

probe --device "$CLI_IF" --op 2 --wait 1
expect_reply "no reply" "an op 2 datagram was answered"
expect_lines "" "an op 2 datagram produced lines"

probe --device "$CLI_IF" --length 1500
expect_reply "reply: length=300 op=2" "a 1500-byte request was not answered with 300 bytes"

probe --device "$CLI_IF" --chaddr 02000a0b0c99 --wait 1
expect_reply "no reply" "an unknown client was answered"
expect_contains "$WORK/driver.out" "Error:  Hardware address not found in BOOTPTAB: 02000A0B0C99"
expect_contains "$WORK/driver.out" "driver: remembered unknown address 02000A0B0C99"

probe --device "$CLI_IF" --ciaddr 10.67.0.10
expect_reply "yiaddr=0.0.0.0 siaddr=$SRV_ADDR" "a client that knows its address got no broadcast reply"
expect_contains "$WORK/driver.out" "Status: request from IP addr: 10.67.0.10"

# The next request sees a table edited while the server runs.
printf 'lab1:ht=1:ha=%s:ip=10.67.0.11:sm=255.255.255.0:\n' "$CLI_MAC" > "$WORK/bootptab"
probe --device "$CLI_IF"
expect_reply "yiaddr=10.67.0.11" "the edited table was not used"

# A relay agent on 10.67.0.2 gets a unicast reply on its port 67 and keeps
# its giaddr.
ip -n "$CLI_NS" addr add 10.67.0.2/24 dev "$CLI_IF"
probe --port 67 --to "$SRV_ADDR" --giaddr 10.67.0.2
expect_reply "reply: length=300 op=2 from=$SRV_ADDR:67 yiaddr=10.67.0.11 siaddr=$SRV_ADDR giaddr=10.67.0.2" \
    "the relay agent got no unicast reply"
echo "PASS"
