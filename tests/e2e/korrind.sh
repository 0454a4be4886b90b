#!/usr/bin/env bash
# The korrind program end to end: in a network namespace of its own, behind
# a veth pair, it answers klibc's ipconfig and ISC dhclient, and its log
# file holds every status line with CR LF. Then a service stop ends it.
# Needs root; KORRIND names the program.
. "$(dirname "$0")/netns.sh"
: "${KORRIND:?KORRIND must name the korrind program}"
DRIVER=$KORRIND
e2e_setup

CLIENT_IP=10.67.0.10
CLIENT_MASK=255.255.255.0
CLIENT_GW=10.67.0.1
CLIENT_NAME=lab1
BOOT_FILE=$WORK/boot/lab1.img
mkdir -p "$WORK/boot"
head -c 2048 /dev/zero >"$BOOT_FILE"
chmod 644 "$BOOT_FILE"
# The table in the layout korrind itself writes.
printf '%s\r\n' '# OXL Bootptab file' '' '# global defaults' 'global.defaults:\' \
    "sm=$CLIENT_MASK:\\" "gw=$CLIENT_GW:" '' '# bench' "$CLIENT_NAME:\\" 'ht=1:\' \
    "ha=$CLI_MAC:\\" "ip=$CLIENT_IP:\\" "sm=$CLIENT_MASK:\\" "gw=$CLIENT_GW:\\" \
    "bf=$BOOT_FILE:\\" 'vm=auto:\' 'hn:\' 'bs=auto:\' 'T145=64:T146=01:T147=01' >"$WORK/bootptab"
printf '"Bootplogfile"="%s"\r\n"EnableLogging"="1"\r\n' "$WORK/korrind.log" \
    >>"$WORK/registry/HKEY_LOCAL_MACHINE.reg"

# korrind under a host name of its own that maps to a loopback address, as on
# a Debian host: the reply then names the receiving interface as the server.
printf '127.0.0.1 localhost\n127.0.1.1 korrind-e2e\n' >"$WORK/hosts"
e2e_start_korrind "$WORK/hosts" -u QT_QPA_PLATFORM

# klibc ipconfig, as an initramfs runs it for network boot.
in_cli_private_run timeout 30 /usr/lib/klibc/bin/ipconfig -c bootp -t 10 -d "$CLI_IF" \
    >"$WORK/ipconfig.out" 2>&1 || { cat "$WORK/ipconfig.out"; e2e_fail "ipconfig got no answer"; }
cat "$WORK/ipconfig.out"
grep -Eq "address: $CLIENT_IP +broadcast: [0-9.]+ +netmask: $CLIENT_MASK" "$WORK/ipconfig.out" ||
    e2e_fail "ipconfig did not take the address and mask"
grep -Eq "host +: $CLIENT_NAME\b" "$WORK/ipconfig.out" || e2e_fail "ipconfig did not take the host name"
expect_contains "$WORK/ipconfig.out" "complete (bootp from $SRV_ADDR)"

# ISC dhclient takes the BOOTP reply as its lease.
in_cli ip addr flush dev "$CLI_IF"
printf 'request subnet-mask, routers, host-name;\n' >"$WORK/dhclient.conf"
in_cli_private_run timeout 40 /sbin/dhclient -1 -v -cf "$WORK/dhclient.conf" \
    -lf "$WORK/dhclient.leases" -pf "$WORK/dhclient.pid" -sf /bin/true "$CLI_IF" \
    >"$WORK/dhclient.out" 2>&1 || { cat "$WORK/dhclient.out"; e2e_fail "dhclient got no lease"; }
[ -f "$WORK/dhclient.pid" ] && kill "$(cat "$WORK/dhclient.pid")" 2>/dev/null || true
expect_contains "$WORK/dhclient.leases" "fixed-address $CLIENT_IP;"
expect_contains "$WORK/dhclient.leases" "option routers $CLIENT_GW;"

# The log file: both requests, every line CR LF terminated.
log=$WORK/korrind.log
[ -f "$log" ] || e2e_fail "no log file"
lines=$(wc -l <"$log")
crlf=$(grep -c $'\r$' "$log" || true)
[ "$lines" -eq "$crlf" ] || e2e_fail "$((lines - crlf)) log lines do not end in CR LF"
tr -d '\r' <"$log" >"$WORK/log.txt"
for text in "Status: BOOTP Request received at outer most layer" \
    "Status: BOOTP Request finished processing at outer most layer" \
    "Status: Reply to BOOTP Request has been sent" \
    "Status: BOOTP Server responding with file: $BOOT_FILE" \
    "Status: Host IP Address is: $SRV_ADDR"; do
    expect_contains "$WORK/log.txt" "$text"
done
replies=$(grep -c '^Status: Reply to BOOTP Request has been sent$' "$WORK/log.txt")
[ "$replies" -ge 2 ] || e2e_fail "expected a reply to each client, found $replies"
grep -q '^Error:' "$WORK/log.txt" && e2e_fail "korrind logged an error"
echo "--- log (first request) ---"
sed -n '1,/^    $/p' "$WORK/log.txt"

# A service stop: the window closes, the engine stops, status 0.
kill -TERM "$DRIVER_PID"
status=0
wait "$DRIVER_PID" || status=$?
DRIVER_PID=""
[ "$status" -eq 0 ] || e2e_fail "korrind ended with status $status after SIGTERM"
in_srv grep -q ':0043 ' /proc/net/udp && e2e_fail "port 67 still bound"
echo "PASS"
