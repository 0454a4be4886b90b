#!/usr/bin/env bash
# Starting the engine: the dump with -d2, any other switch, port 67 already
# bound, and a host name that does not resolve.
. "$(dirname "$0")/netns.sh"
: "${PROBE:?PROBE must name the bootp-probe program}"
e2e_setup
printf 'lab1:ht=1:ha=%s:ip=10.67.0.10:sm=255.255.255.0:bs=auto:vm=auto:\n' "$CLI_MAC" > "$WORK/bootptab"

status=0
e2e_run_driver -x > "$WORK/switch.out" 2>&1 || status=$?
[ "$status" -eq 1 ] || e2e_fail "-x: exit status $status, expected 1"
grep -q "listening" "$WORK/switch.out" && e2e_fail "-x: the engine started"

e2e_start_driver -d2
dump=$WORK/bootptab.dmp
[ -f "$dump" ] || e2e_fail "-d2 wrote no dump"
expect_contains "$dump" ": dump of bootp server database."
expect_contains "$dump" "# Legend:"
expect_contains "$dump" "lab1:ip=10.67.0.10:ht=1:ha=02000A43000A:sm=255.255.255.0:bs=auto:vm=auto:"

# A second server on the same port fails to start, saying why.
status=0
e2e_run_driver > "$WORK/second.out" 2>&1 || status=$?
[ "$status" -ne 0 ] || e2e_fail "a second server started on a bound port"
expect_contains "$WORK/second.out" "The WinSock bind function failed with: 98"
expect_contains "$WORK/second.out" "The BootP Server failed to start."
e2e_stop_driver

# A host name that does not resolve, as long as the system allows (64
# characters): the server starts and replies carry siaddr 0.0.0.0.
DRIVER_HOSTNAME=bootp-e2e-a-host-name-as-long-as-the-system-allows-at-al.invalid
e2e_start_driver
in_cli timeout 10 "$PROBE" --device "$CLI_IF" --chaddr "$CLI_MAC" > "$WORK/probe.out" 2>&1 ||
    { cat "$WORK/probe.out"; e2e_fail "no reply with an unresolvable host name"; }
expect_contains "$WORK/probe.out" "yiaddr=10.67.0.10 siaddr=0.0.0.0"
expect_contains "$WORK/driver.out" "Status: Host IP Address is: 0.0.0.0"
echo "PASS"
